-- Messages of the sample backup, run after the iOS 16 table shapes.
-- Dates are written as UTC wall-clock times and stored the way iOS 11+ stores
-- them: nanoseconds since 2001-01-01 00:00:00 UTC.

-- Participant addresses. iMessage and SMS keep separate rows for one number.
INSERT INTO handle (ROWID, id, country, service, uncanonicalized_id) VALUES
    (1, '+14155550132',        'us', 'iMessage', NULL),            -- Maya Chen
    (2, '+14155550177',        'us', 'SMS',      '+14155550177'),  -- Daniel Okafor, by SMS
    (3, '+14155550177',        'us', 'iMessage', NULL),            -- Daniel Okafor, by iMessage
    (4, 'sofia.r@example.com', 'es', 'iMessage', NULL),            -- Sofía Ramírez
    (5, '+819012345678',       'jp', 'iMessage', NULL),            -- Ken Tanaka
    (6, '+79161234567',        'ru', 'SMS',      '+79161234567'),  -- Алексей Смирнов
    (7, '+14155550199',        'us', 'SMS',      '+14155550199'),  -- a shop, not in the address book
    (8, '+9613123456',         'lb', 'iMessage', NULL);            -- ليلى حداد

-- Conversations. Daniel's number has an SMS row and an iMessage row that share
-- one chat_identifier; the hiking group is the only chat with a room name.
INSERT INTO chat (ROWID, guid, style, state, account_id, chat_identifier, service_name, room_name, display_name) VALUES
    (1, 'iMessage;-;+14155550132',             45, 3, 'E:me@example.com', '+14155550132',           'iMessage', NULL, ''),
    (2, 'SMS;-;+14155550177',                  45, 3, 'P:+14155550100',   '+14155550177',           'SMS',      NULL, ''),
    (3, 'iMessage;-;+14155550177',             45, 3, 'E:me@example.com', '+14155550177',           'iMessage', NULL, ''),
    (4, 'iMessage;+;chat493027166853207741',   43, 3, 'E:me@example.com', 'chat493027166853207741', 'iMessage', 'Hiking crew 🥾', 'Hiking crew 🥾'),
    (5, 'iMessage;-;sofia.r@example.com',      45, 3, 'E:me@example.com', 'sofia.r@example.com',    'iMessage', NULL, ''),
    (6, 'iMessage;-;+819012345678',            45, 3, 'E:me@example.com', '+819012345678',          'iMessage', NULL, ''),
    (7, 'SMS;-;+79161234567',                  45, 3, 'P:+14155550100',   '+79161234567',           'SMS',      NULL, ''),
    (8, 'SMS;-;+14155550199',                  45, 3, 'P:+14155550100',   '+14155550199',           'SMS',      NULL, '');

INSERT INTO chat_handle_join (chat_id, handle_id) VALUES
    (1, 1), (2, 2), (3, 3), (4, 1), (4, 4), (4, 8), (5, 4), (6, 5), (7, 6), (8, 7);

-- Sent messages carry the other side's handle in one-to-one chats and 0 in
-- groups; a received message with is_read 0 is unread. U+FFFC (char(65532))
-- stands where an attachment goes. Dates are written as UTC text here and
-- converted below.

INSERT INTO message (ROWID, guid, text, attributedBody, handle_id, service, subject, date, date_read, is_from_me, is_read, is_sent, is_delivered, is_finished, error, cache_has_attachments) VALUES
    -- Maya Chen
    (1, 'A1B2C3D4-0001-4000-8000-000000000001', 'Are we still on for Saturday? ☀️', NULL,
        1, 'iMessage', NULL, '2024-05-10 18:02:11', '2024-05-10 18:05:40', 0, 1, 0, 1, 1, 0, 0),
    (2, 'A1B2C3D4-0002-4000-8000-000000000002', 'Yes! Trailhead at 8, I''ll bring coffee ☕', NULL,
        1, 'iMessage', NULL, '2024-05-10 18:06:02', NULL, 1, 1, 1, 1, 1, 0, 0),
    (3, 'A1B2C3D4-0003-4000-8000-000000000003', 'Look at this view! 🏔️ ' || char(65532), NULL,
        1, 'iMessage', NULL, '2024-05-11 09:14:30', NULL, 1, 1, 1, 1, 1, 0, 1),
    (4, 'A1B2C3D4-0004-4000-8000-000000000004', 'Wow 😍 here''s mine from the ridge' || char(65532), NULL,
        1, 'iMessage', NULL, '2024-05-11 09:20:05', '2024-05-11 09:22:00', 0, 1, 0, 1, 1, 0, 1),
    (5, 'A1B2C3D4-0005-4000-8000-000000000005', 'Same trail next month? 🥾', NULL,
        1, 'iMessage', NULL, '2024-05-11 09:21:47', '2024-05-11 09:22:00', 0, 1, 0, 1, 1, 0, 0),
    -- Daniel Okafor, first by SMS from a new number, later by iMessage
    (6, 'A1B2C3D4-0006-4000-8000-000000000006', 'Hey, it''s Daniel — new number, save it 📱', NULL,
        2, 'SMS', NULL, '2024-04-28 20:11:00', '2024-04-28 20:14:12', 0, 1, 0, 1, 1, 0, 0),
    (7, 'A1B2C3D4-0007-4000-8000-000000000007', 'Saved! How''s the new job?', NULL,
        2, 'SMS', NULL, '2024-04-28 20:15:31', NULL, 1, 1, 1, 1, 1, 0, 0),
    (8, 'A1B2C3D4-0008-4000-8000-000000000008', 'Lunch Friday?' || char(10) || 'The ramen place on 5th 🍜', NULL,
        3, 'iMessage', NULL, '2024-05-03 12:30:00', '2024-05-03 12:40:03', 0, 1, 0, 1, 1, 0, 0),
    (9, 'A1B2C3D4-0009-4000-8000-000000000009', 'Deal. 12:30?', NULL,
        3, 'iMessage', NULL, '2024-05-03 12:41:15', NULL, 1, 1, 1, 1, 1, 0, 0),
    (10, 'A1B2C3D4-0010-4000-8000-000000000010', '👍', NULL,
        3, 'iMessage', NULL, '2024-05-03 12:42:09', '2024-05-03 12:45:00', 0, 1, 0, 1, 1, 0, 0),
    -- Hiking crew (group)
    (11, 'A1B2C3D4-0011-4000-8000-000000000011', 'Who''s in for the Saturday hike? 🥾', NULL,
        0, 'iMessage', NULL, '2024-05-09 17:00:00', NULL, 1, 1, 1, 1, 1, 0, 0),
    (12, 'A1B2C3D4-0012-4000-8000-000000000012', 'Me! 🙋‍♀️', NULL,
        1, 'iMessage', NULL, '2024-05-09 17:04:21', '2024-05-09 17:30:00', 0, 1, 0, 1, 1, 0, 0),
    (13, 'A1B2C3D4-0013-4000-8000-000000000013', 'أنا أيضاً! سأحضر الماء 💧', NULL,
        8, 'iMessage', NULL, '2024-05-09 17:10:02', '2024-05-09 17:30:00', 0, 1, 0, 1, 1, 0, 0),
    (14, 'A1B2C3D4-0014-4000-8000-000000000014', 'Count me in — I''ll drive 🚗', NULL,
        4, 'iMessage', NULL, '2024-05-09 17:12:45', '2024-05-09 17:30:00', 0, 1, 0, 1, 1, 0, 0),
    (15, 'A1B2C3D4-0015-4000-8000-000000000015', char(65532), NULL,
        1, 'iMessage', NULL, '2024-05-11 16:45:10', '2024-05-11 17:02:00', 0, 1, 0, 1, 1, 0, 1),
    (16, 'A1B2C3D4-0016-4000-8000-000000000016', 'شكراً على اليوم الرائع', NULL,
        8, 'iMessage', NULL, '2024-05-11 17:30:55', NULL, 0, 0, 0, 1, 1, 0, 0),
    -- Sofía Ramírez: two messages keep their words only in attributedBody
    (17, 'A1B2C3D4-0017-4000-8000-000000000017', NULL, archived_body('¿Me pasas el contacto del fontanero? 🔧'),
        4, 'iMessage', NULL, '2024-05-06 10:00:40', '2024-05-06 10:02:00', 0, 1, 0, 1, 1, 0, 0),
    (18, 'A1B2C3D4-0018-4000-8000-000000000018', char(65532), NULL,
        4, 'iMessage', NULL, '2024-05-06 10:03:12', NULL, 1, 1, 1, 1, 1, 0, 1),
    (19, 'A1B2C3D4-0019-4000-8000-000000000019', '¡Mil gracias! Te debo un café ☕', NULL,
        4, 'iMessage', NULL, '2024-05-06 10:05:58', '2024-05-06 10:06:30', 0, 1, 0, 1, 1, 0, 0),
    (20, 'A1B2C3D4-0020-4000-8000-000000000020', NULL, archived_body('¿Vienes a la cena del sábado?'),
        4, 'iMessage', NULL, '2024-05-12 08:30:00', NULL, 0, 0, 0, 1, 1, 0, 0),
    -- Ken Tanaka
    (21, 'A1B2C3D4-0021-4000-8000-000000000021', 'Ken, are you back in Tokyo?', NULL,
        5, 'iMessage', NULL, '2024-05-02 23:10:00', NULL, 1, 1, 1, 1, 1, 0, 0),
    (22, 'A1B2C3D4-0022-4000-8000-000000000022', 'はい、昨日戻りました！お土産があります 🎁', NULL,
        5, 'iMessage', NULL, '2024-05-03 07:45:19', '2024-05-03 08:00:00', 0, 1, 0, 1, 1, 0, 0),
    (23, 'A1B2C3D4-0023-4000-8000-000000000023', '来週の金曜日、飲みに行きませんか？🍻', NULL,
        5, 'iMessage', NULL, '2024-05-12 03:20:00', NULL, 0, 0, 0, 1, 1, 0, 0),
    (24, 'A1B2C3D4-0024-4000-8000-000000000024', char(65532), NULL,
        5, 'iMessage', NULL, '2024-05-12 03:21:30', NULL, 0, 0, 0, 1, 1, 0, 1),
    -- Алексей Смирнов, by SMS
    (25, 'A1B2C3D4-0025-4000-8000-000000000025', 'Привет! Посылка пришла, спасибо 📦', NULL,
        6, 'SMS', 'Посылка', '2024-05-08 14:00:00', '2024-05-08 14:03:00', 0, 1, 0, 1, 1, 0, 0),
    (26, 'A1B2C3D4-0026-4000-8000-000000000026', 'Отлично, рад что дошла!', NULL,
        6, 'SMS', NULL, '2024-05-08 14:05:27', NULL, 1, 1, 1, 1, 1, 0, 0),
    (27, 'A1B2C3D4-0027-4000-8000-000000000027', 'Ты в субботу свободен?', NULL,
        6, 'SMS', NULL, '2024-05-12 19:40:00', NULL, 0, 0, 0, 1, 1, 0, 0),
    -- A shop texting from a number nobody saved; the reply failed to send
    (28, 'A1B2C3D4-0028-4000-8000-000000000028', 'Your order <#4471> from Joe''s Garden & Co. arrives today between 2–4 PM. Reply "STOP" to opt out.', NULL,
        7, 'SMS', NULL, '2024-05-07 09:00:00', '2024-05-07 09:00:30', 0, 1, 0, 1, 1, 0, 0),
    (29, 'A1B2C3D4-0029-4000-8000-000000000029', 'Thanks, leave it at the door', NULL,
        7, 'SMS', NULL, '2024-05-07 09:01:12', NULL, 1, 1, 0, 0, 1, 4, 0),
    -- What recent iOS adds: reactions (a tapback's own text is not shown), a
    -- reply, an unsent message, an effect, a link preview and group events.
    (30, 'A1B2C3D4-0030-4000-8000-000000000030', 'Loved an image', NULL,
        1, 'iMessage', NULL, '2024-05-11 09:16:02', '2024-05-11 09:17:00', 0, 1, 0, 1, 1, 0, 0),
    (31, 'A1B2C3D4-0031-4000-8000-000000000031', 'Perfect, I''ll bring the map 🗺️', NULL,
        1, 'iMessage', NULL, '2024-05-10 18:07:30', '2024-05-10 18:08:00', 0, 1, 0, 1, 1, 0, 0),
    (32, 'A1B2C3D4-0032-4000-8000-000000000032', 'Liked “Deal. 12:45?”', NULL,
        3, 'iMessage', NULL, '2024-05-03 12:43:00', '2024-05-03 12:45:00', 0, 1, 0, 1, 1, 0, 0),
    (33, 'A1B2C3D4-0033-4000-8000-000000000033', 'Removed a like from “Deal. 12:45?”', NULL,
        3, 'iMessage', NULL, '2024-05-03 12:43:40', '2024-05-03 12:45:00', 0, 1, 0, 1, 1, 0, 0),
    (34, 'A1B2C3D4-0034-4000-8000-000000000034', 'Laughed at “Me! 🙋‍♀️”', NULL,
        4, 'iMessage', NULL, '2024-05-09 17:13:30', '2024-05-09 17:30:00', 0, 1, 0, 1, 1, 0, 0),
    (35, 'A1B2C3D4-0035-4000-8000-000000000035', NULL, NULL,
        5, 'iMessage', NULL, '2024-05-03 07:50:00', NULL, 1, 1, 1, 1, 1, 0, 0),
    (36, 'A1B2C3D4-0036-4000-8000-000000000036', 'https://example.com/trails/ridge-loop', NULL,
        4, 'iMessage', NULL, '2024-05-09 17:20:00', '2024-05-09 17:30:00', 0, 1, 0, 1, 1, 0, 0),
    (37, 'A1B2C3D4-0037-4000-8000-000000000037', NULL, NULL,
        1, 'iMessage', NULL, '2024-05-09 16:58:00', '2024-05-09 17:30:00', 0, 1, 0, 1, 1, 0, 0),
    (38, 'A1B2C3D4-0038-4000-8000-000000000038', NULL, NULL,
        8, 'iMessage', NULL, '2024-05-12 09:00:00', NULL, 0, 1, 0, 1, 1, 0, 0),
    -- Daniel again, with what a recent iPhone sends: a HEIC photo, a
    -- sticker (HEIC with transparency), a voice message and a video.
    (39, 'A1B2C3D4-0039-4000-8000-000000000039', char(65532), NULL,
        3, 'iMessage', NULL, '2024-05-03 13:40:00', '2024-05-03 13:41:00', 0, 1, 0, 1, 1, 0, 1),
    (40, 'A1B2C3D4-0040-4000-8000-000000000040', char(65532), NULL,
        3, 'iMessage', NULL, '2024-05-03 13:41:30', NULL, 1, 1, 1, 1, 1, 0, 1),
    (41, 'A1B2C3D4-0041-4000-8000-000000000041', char(65532), NULL,
        3, 'iMessage', NULL, '2024-05-03 13:43:10', '2024-05-03 13:44:00', 0, 1, 0, 1, 1, 0, 1),
    (42, 'A1B2C3D4-0042-4000-8000-000000000042', char(65532), NULL,
        3, 'iMessage', NULL, '2024-05-03 13:45:00', NULL, 1, 1, 1, 1, 1, 0, 1);

UPDATE message SET associated_message_guid = 'p:1/A1B2C3D4-0003-4000-8000-000000000003', associated_message_type = 2000
    WHERE ROWID = 30;
UPDATE message SET thread_originator_guid = 'A1B2C3D4-0002-4000-8000-000000000002', thread_originator_part = '0:0:40'
    WHERE ROWID = 31;
UPDATE message SET associated_message_guid = 'p:0/A1B2C3D4-0009-4000-8000-000000000009', associated_message_type = 2001
    WHERE ROWID = 32;
UPDATE message SET associated_message_guid = 'p:0/A1B2C3D4-0009-4000-8000-000000000009', associated_message_type = 3001
    WHERE ROWID = 33;
UPDATE message SET associated_message_guid = 'p:0/A1B2C3D4-0012-4000-8000-000000000012', associated_message_type = 2003
    WHERE ROWID = 34;
UPDATE message SET balloon_bundle_id = 'com.apple.messages.URLBalloonProvider',
    payload_data = link_payload('https://example.com/trails/ridge-loop', 'Ridge Loop Trail',
                                'A 12 km loop with a view over the bay')
    WHERE ROWID = 36;
UPDATE message SET is_audio_message = 1, is_played = 1 WHERE ROWID = 41;
UPDATE message SET expressive_send_style_id = 'com.apple.messages.effect.CKConfettiEffect' WHERE ROWID = 19;
-- Maya names the group; Laila leaves it.
UPDATE message SET item_type = 2, group_title = 'Hiking crew 🥾' WHERE ROWID = 37;
UPDATE message SET item_type = 3, group_action_type = 0 WHERE ROWID = 38;
-- Message 9 was edited from "12:30" to "12:45"; message 35 was unsent.
UPDATE message SET text = 'Deal. 12:45?',
    date_edited = (strftime('%s', '2024-05-03 12:41:50') - 978307200) * 1000000000,
    message_summary_info = summary_info('{"ec": {"0": [{"d": ' || (strftime('%s', '2024-05-03 12:41:15') - 978307200)
        || ', "t": "Deal. 12:30?"}, {"d": ' || (strftime('%s', '2024-05-03 12:41:50') - 978307200)
        || ', "t": "Deal. 12:45?"}]}, "ep": [0]}')
    WHERE ROWID = 9;
UPDATE message SET
    date_retracted = (strftime('%s', '2024-05-03 07:51:10') - 978307200) * 1000000000,
    date_edited = (strftime('%s', '2024-05-03 07:51:10') - 978307200) * 1000000000,
    message_summary_info = summary_info('{"rp": [0], "ust": true}')
    WHERE ROWID = 35;

-- iOS keeps the words in attributedBody as well; messages 17 and 20 have
-- nothing else.
UPDATE message SET attributedBody = archived_body(text) WHERE text IS NOT NULL;

UPDATE message SET
    date = (strftime('%s', date) - 978307200) * 1000000000,
    date_read = CASE WHEN date_read IS NULL THEN 0
                     ELSE (strftime('%s', date_read) - 978307200) * 1000000000 END;

INSERT INTO chat_message_join (chat_id, message_id, message_date)
    SELECT CASE
               WHEN ROWID BETWEEN 1 AND 5 THEN 1
               WHEN ROWID BETWEEN 6 AND 7 THEN 2
               WHEN ROWID BETWEEN 8 AND 10 THEN 3
               WHEN ROWID BETWEEN 11 AND 16 THEN 4
               WHEN ROWID BETWEEN 17 AND 20 THEN 5
               WHEN ROWID BETWEEN 21 AND 24 THEN 6
               WHEN ROWID BETWEEN 25 AND 27 THEN 7
               WHEN ROWID BETWEEN 28 AND 29 THEN 8
               WHEN ROWID IN (30, 31) THEN 1
               WHEN ROWID IN (32, 33) THEN 3
               WHEN ROWID IN (34, 36, 37, 38) THEN 4
               WHEN ROWID = 35 THEN 6
               WHEN ROWID BETWEEN 39 AND 42 THEN 3
           END, ROWID, date
    FROM message;

-- Attachments as the device records them. The video was never backed up, as
-- happens with large files; the others are generated from files.txt.
INSERT INTO attachment (ROWID, guid, original_guid, created_date, filename, uti, mime_type, transfer_state, is_outgoing, transfer_name, total_bytes) VALUES
    (1, '8E1F2A44-6C3B-4D0E-9A57-1B2C3D4E5F60', '8E1F2A44-6C3B-4D0E-9A57-1B2C3D4E5F60', 737111670,
        '~/Library/SMS/Attachments/3f/15/8E1F2A44-6C3B-4D0E-9A57-1B2C3D4E5F60/IMG_4821.jpeg',
        'public.jpeg', 'image/jpeg', 5, 1, 'IMG_4821.jpeg', 412233),
    (2, 'C0FFEE12-3456-4789-ABCD-EF0123456789', 'C0FFEE12-3456-4789-ABCD-EF0123456789', 737112005,
        '~/Library/SMS/Attachments/a7/07/C0FFEE12-3456-4789-ABCD-EF0123456789/IMG_0193.jpeg',
        'public.jpeg', 'image/jpeg', 5, 0, 'IMG_0193.jpeg', 398120),
    (3, '7B9D2E10-55AA-4C1F-8E3D-0A1B2C3D4E5F', '7B9D2E10-55AA-4C1F-8E3D-0A1B2C3D4E5F', 737138710,
        '~/Library/SMS/Attachments/5c/12/7B9D2E10-55AA-4C1F-8E3D-0A1B2C3D4E5F/trail-map.png',
        'public.png', 'image/png', 5, 0, 'trail-map.png', 88614),
    (4, 'F4E3D2C1-B0A9-4876-9543-210FEDCBA987', 'F4E3D2C1-B0A9-4876-9543-210FEDCBA987', 736682592,
        '~/Library/SMS/Attachments/e2/02/F4E3D2C1-B0A9-4876-9543-210FEDCBA987/Jorge Fontanería.vcf',
        'public.vcard', 'text/vcard', 5, 1, 'Jorge Fontanería.vcf', 214),
    (5, '91A0B1C2-D3E4-4F50-8A6B-7C8D9E0F1A2B', '91A0B1C2-D3E4-4F50-8A6B-7C8D9E0F1A2B', 737180490,
        '/var/mobile/Library/SMS/Attachments/91/01/91A0B1C2-D3E4-4F50-8A6B-7C8D9E0F1A2B/IMG_5501.MOV',
        'com.apple.quicktime-movie', 'video/quicktime', 5, 0, 'IMG_5501.MOV', 18733912),
    (6, 'D6A1B2C3-0006-4A6B-9C0D-1E2F3A4B5C6D', 'D6A1B2C3-0006-4A6B-9C0D-1E2F3A4B5C6D', 736435200,
        '~/Library/SMS/Attachments/d6/06/D6A1B2C3-0006-4A6B-9C0D-1E2F3A4B5C6D/IMG_6001.HEIC',
        'public.heic', 'image/heic', 5, 0, 'IMG_6001.HEIC', 301442),
    (7, 'D7A1B2C3-0007-4A6B-9C0D-1E2F3A4B5C6D', 'D7A1B2C3-0007-4A6B-9C0D-1E2F3A4B5C6D', 736435290,
        '~/Library/SMS/Attachments/d7/07/D7A1B2C3-0007-4A6B-9C0D-1E2F3A4B5C6D/Sticker.heic',
        'public.heic', 'image/heic', 5, 1, 'Sticker.heic', 18210),
    (8, 'D8A1B2C3-0008-4A6B-9C0D-1E2F3A4B5C6D', 'D8A1B2C3-0008-4A6B-9C0D-1E2F3A4B5C6D', 736435390,
        '~/Library/SMS/Attachments/d8/08/D8A1B2C3-0008-4A6B-9C0D-1E2F3A4B5C6D/Audio Message.caf',
        'com.apple.coreaudio-format', 'audio/x-caf', 5, 0, 'Audio Message.caf', 9120),
    (9, 'D9A1B2C3-0009-4A6B-9C0D-1E2F3A4B5C6D', 'D9A1B2C3-0009-4A6B-9C0D-1E2F3A4B5C6D', 736435500,
        '~/Library/SMS/Attachments/d9/09/D9A1B2C3-0009-4A6B-9C0D-1E2F3A4B5C6D/IMG_6002.MOV',
        'com.apple.quicktime-movie', 'video/quicktime', 5, 1, 'IMG_6002.MOV', 48211);

INSERT INTO message_attachment_join (message_id, attachment_id) VALUES
    (3, 1), (4, 2), (15, 3), (18, 4), (24, 5), (39, 6), (40, 7), (41, 8), (42, 9);

-- What iOS 16 to 18 add, joined after the rows above. Dates are written as
-- nanoseconds here. Maya deleted a message (Recently Deleted keeps it 30
-- days, joined through chat_recoverable_message_join only); Sofía formats
-- her words and mentions Maya; a message of mine has a link and a text
-- effect (the value 5 is "big", as the public documentation of an
-- open-source message-database crate lists the iOS 18 text effects).
INSERT INTO message (ROWID, guid, text, handle_id, service, date, date_read, is_from_me, is_read, is_sent, is_delivered, is_finished) VALUES
    (60, 'A1B2C3D4-0060-4000-8000-000000000060', 'Can you send me the trail map again?',
        1, 'iMessage', (strftime('%s', '2024-05-11 16:00:00') - 978307200) * 1000000000,
        (strftime('%s', '2024-05-11 16:01:00') - 978307200) * 1000000000, 0, 1, 0, 1, 1),
    (61, 'A1B2C3D4-0061-4000-8000-000000000061', 'Maya, bring the map and snacks, not chips!',
        4, 'iMessage', (strftime('%s', '2024-05-10 19:00:00') - 978307200) * 1000000000,
        (strftime('%s', '2024-05-10 19:05:00') - 978307200) * 1000000000, 0, 1, 0, 1, 1),
    (62, 'A1B2C3D4-0062-4000-8000-000000000062', 'See you at the trailhead! Big day 🎉',
        1, 'iMessage', (strftime('%s', '2024-05-10 19:30:00') - 978307200) * 1000000000, 0, 1, 1, 1, 1, 1);
UPDATE message SET attributedBody = archived_body(text) WHERE ROWID = 60;
UPDATE message SET attributedBody = styled_body(text, '[{"length": 4, "mention": "+14155550132"},
    {"length": 12}, {"length": 3, "bold": true}, {"length": 5}, {"length": 6, "italic": true},
    {"length": 6}, {"length": 5, "strikethrough": true}, {"length": 1}]') WHERE ROWID = 61;
UPDATE message SET attributedBody = styled_body(text, '[{"length": 15},
    {"length": 9, "underline": true, "link": "https://example.com/trails/ridge-loop"},
    {"length": 2}, {"length": 7, "effect": 5}, {"length": 3}]') WHERE ROWID = 62;
INSERT INTO chat_message_join (chat_id, message_id, message_date)
    SELECT CASE ROWID WHEN 61 THEN 4 ELSE 1 END, ROWID, date FROM message WHERE ROWID IN (61, 62);
INSERT INTO chat_recoverable_message_join (chat_id, message_id, delete_date)
    VALUES (1, 60, (strftime('%s', '2024-05-12 10:15:00') - 978307200) * 1000000000);

-- Services and states of iOS 18: an RCS message, one sent by satellite
-- (stored as service "iMessageLite"), a Send Later message that has not gone
-- out (schedule_type 2; its date is the time it is scheduled for), a junk
-- message (is_spam) in a conversation filtered as an unknown sender
-- (chat.is_filtered 1), and an audio message whose transcription iOS keeps
-- in the archived body (attribute IMAudioTranscription). The service names,
-- schedule_type and the filter values are as the public documentation of an
-- open-source message-database crate describes them.
ALTER TABLE message ADD COLUMN schedule_type INTEGER DEFAULT 0;
ALTER TABLE message ADD COLUMN schedule_state INTEGER DEFAULT 0;
INSERT INTO message (ROWID, guid, text, handle_id, service, date, date_read, is_from_me, is_read, is_sent, is_delivered, is_finished, is_audio_message, cache_has_attachments) VALUES
    (63, 'A1B2C3D4-0063-4000-8000-000000000063', 'Фото с выходных пришлю вечером',
        6, 'RCS', (strftime('%s', '2024-05-12 19:45:00') - 978307200) * 1000000000,
        (strftime('%s', '2024-05-12 19:50:00') - 978307200) * 1000000000, 0, 1, 0, 1, 1, 0, 0),
    (64, 'A1B2C3D4-0064-4000-8000-000000000064', 'No signal up here, texting by satellite 🛰️',
        1, 'iMessageLite', (strftime('%s', '2024-05-11 12:00:00') - 978307200) * 1000000000, 0, 1, 1, 1, 1, 1, 0, 0),
    (65, 'A1B2C3D4-0065-4000-8000-000000000065', 'Happy birthday, Sofía! 🎂',
        4, 'iMessage', (strftime('%s', '2024-05-20 09:00:00') - 978307200) * 1000000000, 0, 1, 1, 0, 0, 0, 0, 0),
    (66, 'A1B2C3D4-0066-4000-8000-000000000066', 'You won a gift card! Claim it at example.net/win',
        7, 'SMS', (strftime('%s', '2024-05-07 10:00:00') - 978307200) * 1000000000, 0, 0, 0, 0, 1, 1, 0, 0),
    (67, 'A1B2C3D4-0067-4000-8000-000000000067', char(65532),
        1, 'iMessage', (strftime('%s', '2024-05-11 09:30:00') - 978307200) * 1000000000,
        (strftime('%s', '2024-05-11 09:31:00') - 978307200) * 1000000000, 0, 1, 0, 1, 1, 1, 1);
UPDATE message SET attributedBody = archived_body(text) WHERE ROWID BETWEEN 63 AND 66;
UPDATE message SET schedule_type = 2, schedule_state = 1 WHERE ROWID = 65;
UPDATE message SET is_spam = 1 WHERE ROWID = 66;
UPDATE message SET attributedBody = styled_body(text, '[{"length": 1, "file": "3C2B1A09-8877-4655-9443-322110FFEEDD",
    "transcription": "Running ten minutes late, start without me"}]') WHERE ROWID = 67;
UPDATE chat SET is_filtered = 1 WHERE ROWID = 8;
INSERT INTO chat_message_join (chat_id, message_id, message_date)
    SELECT CASE ROWID WHEN 63 THEN 7 WHEN 65 THEN 5 WHEN 66 THEN 8 ELSE 1 END, ROWID, date
    FROM message WHERE ROWID BETWEEN 63 AND 67;
-- The audio file was not backed up.
INSERT INTO attachment (ROWID, guid, original_guid, created_date, filename, uti, mime_type, transfer_state, is_outgoing, transfer_name, total_bytes) VALUES
    (10, '3C2B1A09-8877-4655-9443-322110FFEEDD', '3C2B1A09-8877-4655-9443-322110FFEEDD', 737112600,
        '~/Library/SMS/Attachments/dd/13/3C2B1A09-8877-4655-9443-322110FFEEDD/Audio Message.caf',
        'com.apple.coreaudio-format', 'audio/x-caf', 5, 0, 'Audio Message.caf', 24576);
INSERT INTO message_attachment_join (message_id, attachment_id) VALUES (67, 10);

-- iMessage apps: a third-party game and Apple Cash fill in a template layout
-- in payload_data (a keyed archive: "an" the app's name, "ldtext" the text
-- iOS shows for its own apps, "userInfo" the caption, subcaption and image
-- title; keys as the open-source crate's public documentation lists them),
-- handwriting keeps no property list, and an app nobody knows sends none.
INSERT INTO message (ROWID, guid, text, handle_id, service, date, date_read, is_from_me, is_read, is_sent, is_delivered, is_finished, balloon_bundle_id, payload_data) VALUES
    (68, 'A1B2C3D4-0068-4000-8000-000000000068', char(65532), 3, 'iMessage',
        (strftime('%s', '2024-05-03 13:00:00') - 978307200) * 1000000000, 0, 1, 1, 1, 1, 1,
        'com.apple.messages.MSMessageExtensionBalloonPlugin:0000000000:com.example.trailgames.messages',
        app_payload('{"an": "Trail Games", "userInfo": {"caption": "Trail Bingo", "subcaption": "Your move!",
                      "image-title": "Round 2"}}')),
    (69, 'A1B2C3D4-0069-4000-8000-000000000069', char(65532), 5, 'iMessage',
        (strftime('%s', '2024-05-03 08:10:00') - 978307200) * 1000000000,
        (strftime('%s', '2024-05-03 08:11:00') - 978307200) * 1000000000, 0, 1, 0, 1, 1,
        'com.apple.messages.MSMessageExtensionBalloonPlugin:0000000000:com.apple.PassbookUIService.PeerPaymentMessagesExtension',
        app_payload('{"ldtext": "$20 for the souvenirs", "userInfo": {"caption": "Apple Cash"}}')),
    (70, 'A1B2C3D4-0070-4000-8000-000000000070', char(65532), 1, 'iMessage',
        (strftime('%s', '2024-05-10 20:00:00') - 978307200) * 1000000000,
        (strftime('%s', '2024-05-10 20:01:00') - 978307200) * 1000000000, 0, 1, 0, 1, 1,
        'com.apple.Handwriting.HandwritingProvider', X'08011203A1B2C3'),
    (71, 'A1B2C3D4-0071-4000-8000-000000000071', char(65532), 3, 'iMessage',
        (strftime('%s', '2024-05-03 13:05:00') - 978307200) * 1000000000,
        (strftime('%s', '2024-05-03 13:06:00') - 978307200) * 1000000000, 0, 1, 0, 1, 1,
        'com.apple.messages.MSMessageExtensionBalloonPlugin:EWFNLB79LQ:com.example.unknown.extension', NULL);
UPDATE message SET attributedBody = archived_body(text) WHERE ROWID BETWEEN 68 AND 71;
INSERT INTO chat_message_join (chat_id, message_id, message_date)
    SELECT CASE ROWID WHEN 69 THEN 6 WHEN 70 THEN 1 ELSE 3 END, ROWID, date FROM message WHERE ROWID BETWEEN 68 AND 71;

-- Link previews of more than a page: a shared place and an iCloud
-- collaboration, told by the class of the metadata's specialization (class
-- names as the open-source crate's public documentation gives them).
INSERT INTO message (ROWID, guid, text, handle_id, service, date, date_read, is_from_me, is_read, is_sent, is_delivered, is_finished, balloon_bundle_id, payload_data) VALUES
    (72, 'A1B2C3D4-0072-4000-8000-000000000072', 'https://maps.example.com/place/trailhead', 4, 'iMessage',
        (strftime('%s', '2024-05-09 17:25:00') - 978307200) * 1000000000,
        (strftime('%s', '2024-05-09 17:30:00') - 978307200) * 1000000000, 0, 1, 0, 1, 1,
        'com.apple.messages.URLBalloonProvider',
        link_payload('https://maps.example.com/place/trailhead', 'Ridge Trailhead Parking', 'Trailhead, 12 spaces',
                     'LPMapMetadata')),
    (73, 'A1B2C3D4-0073-4000-8000-000000000073', 'https://www.icloud.com/freeform/0abcDEF', 0, 'iMessage',
        (strftime('%s', '2024-05-09 17:40:00') - 978307200) * 1000000000, 0, 1, 1, 1, 1, 1,
        'com.apple.messages.URLBalloonProvider',
        link_payload('https://www.icloud.com/freeform/0abcDEF', 'Hike packing list', NULL,
                     'LPCollaborationMetadata'));
UPDATE message SET attributedBody = archived_body(text) WHERE ROWID IN (72, 73);
INSERT INTO chat_message_join (chat_id, message_id, message_date) SELECT 4, ROWID, date FROM message WHERE ROWID IN (72, 73);
