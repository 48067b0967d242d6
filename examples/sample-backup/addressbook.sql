-- The sample backup's address book, run after the address-book table shapes.
-- Phone numbers are stored as typed on the device; the library strips the
-- punctuation before matching. The shop's number (+14155550199) is not here.
INSERT INTO ABMultiValueLabel (value) VALUES ('_$!<Mobile>!$_'), ('_$!<Home>!$_'), ('_$!<Work>!$_');

INSERT INTO ABPerson (ROWID, First, Last, Organization, Kind, guid) VALUES
    (1, 'Maya',    'Chen',    NULL,                 0, 'AB-PERSON-0001'),
    (2, 'Daniel',  'Okafor',  NULL,                 0, 'AB-PERSON-0002'),
    (3, 'Sofía',   'Ramírez', NULL,                 0, 'AB-PERSON-0003'),
    (4, 'Ken',     'Tanaka',  NULL,                 0, 'AB-PERSON-0004'),
    (5, 'Алексей', 'Смирнов', NULL,                 0, 'AB-PERSON-0005'),
    (6, 'ليلى',    'حداد',    NULL,                 0, 'AB-PERSON-0006'),
    (7, NULL,      NULL,      'Jorge Fontanería',   1, 'AB-PERSON-0007');

-- property 3 is a phone number, 4 an e-mail address.
INSERT INTO ABMultiValue (UID, record_id, property, identifier, label, value, guid) VALUES
    (1,  1, 3, 0, 1, '+1 (415) 555-0132',   'AB-VALUE-0001'),
    (2,  1, 4, 1, 2, 'maya.chen@example.com', 'AB-VALUE-0002'),
    (3,  2, 3, 0, 1, '+1 415-555-0177',     'AB-VALUE-0003'),
    (4,  3, 4, 0, 2, 'sofia.r@example.com', 'AB-VALUE-0004'),
    (5,  3, 3, 1, 1, '+34 612 345 678',     'AB-VALUE-0005'),
    (6,  4, 3, 0, 1, '+81 90-1234-5678',    'AB-VALUE-0006'),
    (7,  5, 3, 0, 1, '+7 916 123-45-67',    'AB-VALUE-0007'),
    (8,  6, 3, 0, 1, '+961 3 123 456',      'AB-VALUE-0008'),
    (9,  7, 3, 0, 3, '+34 910 000 111',     'AB-VALUE-0009');
