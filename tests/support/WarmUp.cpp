// Runs one complete load before the tests, so that the statics Qt and SQLite
// build on first use exist before any test counts live objects; and checks
// after every test that each connection it opened was closed.
#include "MsgService.h"
#include "ServiceDoubles.h"
#include "TestBackup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class WarmUp : public ::testing::Environment
{
public:
    void SetUp() override
    {
        TestBackup backup;
        backup.writeFile(QStringLiteral("SMS/Attachments/a/b/IMG.jpeg"));
        backup.writeFile(QStringLiteral("SMS/Attachments/a/b/IMG-preview-left.jpg"));
        backup.writeSmsDb(QStringLiteral(R"(
insert into handle (ROWID, id, service) values (1, '+1555', 'SMS');
insert into chat (ROWID, guid, chat_identifier, room_name) values (1, 'c', '+1555', 'x');
insert into chat_handle_join values (1, 1);
insert into message (ROWID, guid, text, date, attributedBody) values (1, 'm', 'a ' || char(65532), 1, archived_body('a'));
insert into chat_message_join (chat_id, message_id) values (1, 1);
insert into attachment (ROWID, guid, original_guid, filename, mime_type) values (1, 'a', 'o', '~/Library/SMS/Attachments/a/b/IMG.jpeg', 'image/jpeg');
insert into message_attachment_join values (1, 1);
)"));
        backup.writeAddressBook(QStringLiteral(
            "insert into ABPerson (ROWID, First, guid) values (1, 'A', 'p');"
            "insert into ABMultiValue (UID, record_id, property, value, guid) values (1, 1, 3, '+1555', 'v');"));
        MsgService service(QStringLiteral("warm-up"), false);
        service.loadBackup(backup.folder());
        ServiceDoubles::reset();
    }
};

// Connections still open at the end of a test mean a leaked connection or an
// unfinalized statement (sqlite3_close refuses to close those).
class ConnectionCheck : public ::testing::EmptyTestEventListener
{
public:
    void OnTestEnd(const ::testing::TestInfo& test) override
    {
        const ServiceDoubles& doubles = ServiceDoubles::get();
        if (doubles.opens != doubles.closes)
            leaks.push_back(std::string(test.test_suite_name()) + "." + test.name());
    }
    static std::vector<std::string> leaks;
};
std::vector<std::string> ConnectionCheck::leaks;

class ConnectionReport : public ::testing::Environment
{
public:
    void TearDown() override
    {
        for (const std::string& test : ConnectionCheck::leaks)
            ADD_FAILURE() << test << " left a database connection open";
    }
};

const auto* const warmUp = ::testing::AddGlobalTestEnvironment(new WarmUp);
const auto* const report = ::testing::AddGlobalTestEnvironment(new ConnectionReport);
const bool listening = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new ConnectionCheck);
    return true;
}();

} // namespace
