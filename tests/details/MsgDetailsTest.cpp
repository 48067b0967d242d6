#include "MsgDetails.h"
#include "MsgService.h"
#include "ServiceDoubles.h"
#include "TestBackup.h"
#include "details/readers/Ios16MessageDetails.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

using Reaction = MsgDetail::Reaction;
using Event = MsgDetail::GroupEvent;

class MsgDetailsTest : public ::testing::Test
{
protected:
    void SetUp() override { ServiceDoubles::reset(); }

    // Rows of the message table only: the details need no chat.
    MsgDetail load(const QString& rows, qint64 rowid = 1, const QString& schema = QStringLiteral("ios16-sms.sql"))
    {
        EXPECT_TRUE(backup.writeSmsDb(rows, schema));
        details = std::make_unique<MsgDetails>(backup.folder());
        EXPECT_TRUE(details->load());
        MsgDetail detail;
        EXPECT_TRUE(details->find(rowid, &detail)) << rowid;
        EXPECT_EQ(details->isReaction(rowid), detail.isReaction()) << rowid;
        EXPECT_FALSE(details->isReaction(rowid + 1000)) << "an unknown rowid";
        return detail;
    }

    TestBackup backup;
    std::unique_ptr<MsgDetails> details;
};

TEST_F(MsgDetailsTest, ReactionsKeepTheirTargetPartKindAndRemoval)
{
    const struct
    {
        const char* guid;
        int type;
        const char* emoji;
        Reaction kind;
        bool removed;
        const char* target;
        int part;
    } cases[] = {
        {"p:0/T1", 2000, nullptr, Reaction::Loved, false, "T1", 0},
        {"p:2/T2", 2001, nullptr, Reaction::Liked, false, "T2", 2},
        {"bp:T3", 2002, nullptr, Reaction::Disliked, false, "T3", 0},
        {"p:0/T7", 2006, "🔥", Reaction::Emoji, false, "T7", 0},
        {"p:0/T8", 2007, nullptr, Reaction::Sticker, false, "T8", 0},
        {"p:0/T9", 3000, nullptr, Reaction::Loved, true, "T9", 0},
        {"p:3/T10", 3006, "🔥", Reaction::Emoji, true, "T10", 3},
        {"p:x/T11", 3007, nullptr, Reaction::Sticker, true, "T11", 0},
        {"T12", 0, nullptr, Reaction::None, false, "T12", 0},
    };
    for (const auto& c : cases) {
        // The emoji column came with iOS 18.
        const MsgDetail d = load(QStringLiteral("alter table message add column associated_message_emoji text;"
                                                "insert into message (ROWID, guid, associated_message_guid, "
                                                "associated_message_type, associated_message_emoji) values "
                                                "(1, 'R', '%1', %2, %3);")
                                     .arg(QLatin1String(c.guid))
                                     .arg(c.type)
                                     .arg(c.emoji ? QStringLiteral("'%1'").arg(QString::fromUtf8(c.emoji))
                                                  : QStringLiteral("null")));
        SCOPED_TRACE(c.guid);
        EXPECT_EQ(d.reaction, c.kind);
        EXPECT_EQ(d.reactionRemoved, c.removed);
        EXPECT_EQ(d.reactionTargetGuid, QLatin1String(c.target));
        EXPECT_EQ(d.reactionTargetPart, c.part);
        EXPECT_EQ(d.reactionEmoji, c.emoji ? QString::fromUtf8(c.emoji) : QString());
    }
}

TEST_F(MsgDetailsTest, EditHistoriesAndUnsentPartsComeFromTheSummaryInfo)
{
    // summary, its versions as "part@date:text" (parts ascending, oldest first), its unsent parts
    const std::tuple<const char*, QStringList, QList<int>> cases[] = {
        {R"({"ec": {"0": [{"d": 700000000.5, "t": "frist"}, {"d": 700000060.0, "t": "first"}]}, "ep": [0]})",
         {"0@700000000:frist", "0@700000060:first"}, {}},
        {R"({"ec": {"10": [{"d": 5, "t": "b"}], "9": [{"d": 7, "t": "a"}]}})", {"9@7:a", "10@5:b"}, {}},
        {R"({"rp": [2, 0], "ust": true})", {}, {0, 2}},
        {R"({"otr": {"0": {"lo": 0, "le": 4}}, "amc": 1})", {}, {}},
    };
    for (const auto& [summary, texts, unsent] : cases) {
        const MsgDetail d = load(QStringLiteral("insert into message (ROWID, guid, message_summary_info) "
                                                "values (1, 'E', summary_info('%1'));")
                                     .arg(QString::fromUtf8(summary)));
        QStringList versions;
        for (const MsgEdit& edit : d.editHistory)
            versions << QStringLiteral("%1@%2:%3").arg(edit.part).arg(edit.date).arg(edit.text);
        EXPECT_EQ(versions, texts) << summary;
        EXPECT_EQ(d.unsentParts, unsent) << summary;
    }
    EXPECT_TRUE(ServiceDoubles::get().logs.empty());
}

TEST_F(MsgDetailsTest, GroupEventsNameTheirKindActorAndTarget)
{
    const struct
    {
        int itemType, action, handle, fromMe, other;
        const char* title;
        Event kind;
    } cases[] = {
        {1, 0, 3, 0, 5, nullptr, Event::Added},     {1, 1, 0, 1, 5, nullptr, Event::Removed},
        {2, 0, 3, 0, 0, "Hiking", Event::Renamed},  {3, 0, 4, 0, 0, nullptr, Event::Left},
        {3, 1, 4, 0, 0, nullptr, Event::PhotoChanged}, {3, 2, 4, 0, 0, nullptr, Event::PhotoRemoved},
        {4, 0, 4, 0, 0, nullptr, Event::None},      {0, 0, 4, 0, 0, nullptr, Event::None},
    };
    for (const auto& c : cases) {
        const MsgDetail d = load(QStringLiteral("insert into message (ROWID, guid, item_type, group_action_type, "
                                                "handle_id, is_from_me, other_handle, group_title) values "
                                                "(1, 'G', %1, %2, %3, %4, %5, %6);")
                                     .arg(c.itemType).arg(c.action).arg(c.handle).arg(c.fromMe).arg(c.other)
                                     .arg(c.title ? QStringLiteral("'%1'").arg(QLatin1String(c.title))
                                                  : QStringLiteral("null")));
        SCOPED_TRACE(c.itemType * 10 + c.action);
        EXPECT_EQ(d.groupEvent, c.kind);
        const bool event = c.kind != Event::None;
        EXPECT_EQ(d.actorHandle, event ? c.handle : 0);
        EXPECT_EQ(d.actorIsMe, event && c.fromMe);
        EXPECT_EQ(d.targetHandle, event ? c.other : 0);
        EXPECT_EQ(d.groupTitle, c.title && event ? QLatin1String(c.title) : QString());
    }
}

TEST_F(MsgDetailsTest, MalformedBlobsAnswerNoneAndLogTheirMessage)
{
    const std::pair<const char*, const char*> cases[] = { // column, value
        {"message_summary_info", "cast('not a plist' as blob)"},
        {"message_summary_info", "summary_info('{\"ec\": [1, 2]}')"},
        {"message_summary_info", "summary_info('{\"ec\": {\"x\": []}}')"},
        {"message_summary_info", "summary_info('{\"rp\": [\"one\"]}')"},
        {"message_summary_info", "substr(summary_info('{\"rp\": [1, 2, 3]}'), 1, 20)"},
        // The part key "10" made U+0000 in UTF-16: libplist asserts when iterating it (found by the fuzzer).
        {"message_summary_info", "cast(replace(summary_info('{\"ec\": {\"0\": [], \"10\": []}}'), 'R10', x'610000') as blob)"},
        {"payload_data", "cast('bplist00 broken' as blob)"},
        {"payload_data", "summary_info('{\"$objects\": 4}')"},
        // Deep enough to exhaust the stack of a recursive parser.
        {"message_summary_info", "nested_plist(100000)"},
        {"payload_data", "nested_plist(100000)"},
    };
    for (const auto& [column, value] : cases) {
        ServiceDoubles::reset();
        const MsgDetail d = load(QStringLiteral("insert into message (ROWID, guid, balloon_bundle_id, %1) values "
                                                "(7, 'M', 'com.apple.messages.URLBalloonProvider', %2);")
                                     .arg(QLatin1String(column), QLatin1String(value)), 7);
        EXPECT_TRUE(d.editHistory.isEmpty() && d.unsentParts.isEmpty() && d.linkUrl.isEmpty()) << value;
        EXPECT_EQ(ServiceDoubles::get().logsOf("MSGSER"),
                  std::vector<std::string>{QStringLiteral("0 Malformed %1 of message 7").arg(QLatin1String(column)).toStdString()})
            << value;
    }
}

TEST_F(MsgDetailsTest, EffectsLinksAudioDeliveryAndReplies)
{
    const MsgDetail d = load(QStringLiteral(
        "insert into message (ROWID, guid, expressive_send_style_id, balloon_bundle_id, payload_data, "
        "is_audio_message, is_played, is_delivered, date_delivered, was_downgraded, date_edited, date_retracted, "
        "thread_originator_guid, thread_originator_part) "
        "values (1, 'L', 'com.apple.messages.effect.CKConfettiEffect', 'com.apple.messages.URLBalloonProvider', "
        "link_payload('https://example.com/trail', 'Trail map', 'Loop of 12 km'), 1, 1, 1, 700000000000000000, 1, "
        "700000060000000000, 700000090, 'T2', '2:5:3'), (2, 'N', 'com.apple.messages.effect.CKNewEffect', "
        "'com.example.app', link_payload('u', 't', 's'), 0, 0, 0, 0, 0, 0, 0, 'T3', null), "
        "(3, 'M', null, 'com.apple.messages.URLBalloonProvider', link_payload('u', 't', 's', 'LPiTunesMediaSongMetadata'), "
        "0, 0, 0, 0, 0, 0, 0, null, null);"));
    EXPECT_EQ(d.replyTargetGuid + QString::number(d.replyTargetPart), QStringLiteral("T22"));
    EXPECT_EQ(d.effectName, QStringLiteral("Confetti"));
    EXPECT_EQ(d.linkTitle, QStringLiteral("Trail map"));
    EXPECT_EQ(d.linkSummary, QStringLiteral("Loop of 12 km"));
    EXPECT_EQ(d.linkUrl, QStringLiteral("https://example.com/trail"));
    EXPECT_TRUE(d.isAudio && d.isPlayed && d.isDelivered && d.wasDowngraded);
    EXPECT_EQ(d.dateDelivered, 700000000);
    EXPECT_EQ(d.dateEdited, 700000060);
    EXPECT_EQ(d.dateRetracted, 700000090); // seconds stay seconds
    MsgDetail other;
    ASSERT_TRUE(details->find(2, &other));
    EXPECT_EQ(other.effectName, QStringLiteral("com.apple.messages.effect.CKNewEffect"));
    EXPECT_TRUE(other.linkUrl.isEmpty()); // not a link balloon: an app's, without a name
    EXPECT_TRUE(d.linkKind.isEmpty());
    MsgDetail song;
    ASSERT_TRUE(details->find(3, &song));
    EXPECT_EQ(song.linkKind, QStringLiteral("Apple Music"));
    EXPECT_FALSE(other.isAudio || other.isDelivered || other.wasDowngraded || other.replyTargetPart);

    const char* const effects[][2] = {{"com.apple.MobileSMS.expressivesend.impact", "Slam"},
                                      {"com.apple.messages.effect.CKSparklesEffect", "Shooting Star"},
                                      {"com.apple.messages.effect.CKHeartEffect", "Love"},
                                      {"com.example.CKHeartEffect", "com.example.CKHeartEffect"}};
    for (const auto& e : effects)
        EXPECT_EQ(Ios16MessageDetails::effectName(QLatin1String(e[0])), QLatin1String(e[1]));
}

// Guids of the usual upper-case form, in lower case, and of no form.
QString guidFor(qint64 rowid)
{
    const QString uuid = QString::asprintf("%08llX-ABCD-4EF0-9A1B-%012llX", rowid, rowid);
    return rowid % 2 == 0 ? uuid : rowid % 3 == 0 ? uuid.toLower() : QStringLiteral("G%1").arg(rowid);
}

TEST_F(MsgDetailsTest, EveryRowidAndGuidIsFoundWhetherRowidsAreDenseGappedOrFarApart)
{
    // Dense runs with gaps across several runs of 64, negative rowids, and
    // then one far away, which turns the table to the plain search.
    const QString dense = QStringLiteral(
        "with recursive n(i) as (select -3 union all select i + 1 from n where i < 400) "
        "insert into message (ROWID, guid) select i, case when i % 2 = 0 then printf('%08X-ABCD-4EF0-9A1B-%012X', i, i) "
        "when i % 3 = 0 then lower(printf('%08X-ABCD-4EF0-9A1B-%012X', i, i)) else 'G' || i end "
        "from n where i % 7 != 0 and i not between 120 and 200;");
    for (const QString& far : {QString(), QStringLiteral("insert into message (ROWID, guid) values (9000000000000, 'far');")}) {
        load(dense + far, -3);
        int found = 0;
        for (qint64 rowid = -70; rowid <= 470; ++rowid) {
            MsgDetail d;
            const bool stored = rowid >= -3 && rowid <= 400 && rowid % 7 != 0 && (rowid < 120 || rowid > 200);
            ASSERT_EQ(details->find(rowid, &d), stored) << rowid;
            if (stored) {
                EXPECT_EQ(d.guid, guidFor(rowid));
                EXPECT_EQ(details->rowidOf(guidFor(rowid)), rowid);
                ++found;
            }
        }
        EXPECT_EQ(found + (far.isEmpty() ? 0 : 1), details->count());
        EXPECT_EQ(details->find(9000000000000, nullptr), !far.isEmpty());
        EXPECT_FALSE(details->find(std::numeric_limits<qint64>::min(), nullptr));
        EXPECT_FALSE(details->find(std::numeric_limits<qint64>::max(), nullptr));
        EXPECT_EQ(details->rowidOf(guidFor(4).toLower()), 0) << "guids are matched exactly";
        EXPECT_EQ(details->rowidOf(guidFor(7)), 0);
    }
}

// Recently Deleted: joined to its chat only through the recoverable join,
// placed by a message still joined to a chat row of the same identifier.
TEST_F(MsgDetailsTest, DeletedMessagesComeWithTheirDateAndAnAnchorOfTheirConversation)
{
    const MsgDetail d = load(QStringLiteral(
        "insert into chat (ROWID, guid, chat_identifier) values (1, 'c1', '+1555'), (2, 'c2', '+1555'), "
        "(3, 'c3', '+1666');"
        "insert into message (ROWID, guid, text, attributedBody, date, handle_id, is_from_me, service) values "
        "(1, 'G1', 'kept', null, 0, 1, 0, 'SMS'), (2, 'G2', 'kept too', null, 0, 1, 0, 'iMessage'), "
        "(3, 'G3', null, archived_body('gone ' || char(65532)), 700000000000000000, 1, 1, 'RCS'), "
        "(4, 'G4', 'gone too', null, 0, 2, 0, 'iMessage'), "
        "(5, 'G5', 'only gone', styled_body('only gone', '[{\"length\": 4, \"bold\": true}, {\"length\": 5}]'), "
        "0, 3, 0, 'iMessage');"
        "insert into chat_message_join (chat_id, message_id) values (2, 2), (1, 1);"
        "insert into chat_recoverable_message_join (chat_id, message_id, delete_date) values "
        "(1, 3, 710000000000000000), (2, 3, 710000000000000000), (2, 4, 710000005), (3, 5, 1);"), 5);
    // The formatted body of a deleted message is read as any other.
    EXPECT_EQ(d.bodyText, QStringLiteral("only gone"));
    ASSERT_EQ(d.textRuns.size(), 2);
    EXPECT_TRUE(d.textRuns[0].bold && !d.textRuns[1].bold);

    QStringList found;
    for (const MsgDeletedMessage& m : details->deletedMessages())
        found << QStringLiteral("%1@%2 by %3%4 at %5 deleted %6 %7: %8")
                     .arg(m.rowid).arg(m.anchor).arg(m.handleId).arg(m.isFromMe ? "me" : "")
                     .arg(m.date).arg(m.dateDeleted).arg(m.service, m.text);
    // Message 3 sits in both chat rows of "+1555" and comes once; the only
    // message of "+1666" has no anchor.
    EXPECT_EQ(found, (QStringList{"3@1 by 1me at 700000000 deleted 710000000 RCS: gone \uFFFC",
                                  "4@1 by 2 at 0 deleted 710000005 iMessage: gone too",
                                  "5@0 by 3 at 0 deleted 1 iMessage: only gone"}));

    // Schemas before iOS 16 have no such table.
    load(QStringLiteral("insert into message (ROWID, guid, text) values (1, 'G1', 'hi');"), 1,
         QStringLiteral("ios14-sms.sql"));
    EXPECT_TRUE(details->deletedMessages().isEmpty());
}

// Only bodies with a style, a mention or a link keep their runs; the plain
// majority costs no more than before.
TEST_F(MsgDetailsTest, FormattedBodiesKeepTheirRunsAndPlainOnesNone)
{
    const MsgDetail plain = load(QStringLiteral("insert into message (ROWID, guid, text, attributedBody) values "
                                                "(1, 'P', 'plain', archived_body('plain'));"));
    EXPECT_TRUE(plain.bodyText.isEmpty() && plain.textRuns.isEmpty());
    const MsgDetail linked = load(QStringLiteral(
        "insert into message (ROWID, guid, text, attributedBody) values (1, 'L', 'see x', styled_body('see x', "
        "'[{\"length\": 4}, {\"length\": 1, \"link\": \"https://example.com/x\"}]'));"));
    ASSERT_EQ(linked.textRuns.size(), 2);
    EXPECT_EQ(linked.textRuns[1].link, QStringLiteral("https://example.com/x"));
    EXPECT_EQ(linked.textRuns[1].start, 4);
}

// RCS and satellite come from the service name, junk from is_spam, Send Later
// from the iOS 18 schedule_type, a transcription from the archived body; a
// filtered conversation is named by a message it still holds.
TEST_F(MsgDetailsTest, ServicesSendLaterJunkTranscriptionsAndFilteredConversations)
{
    for (const char* schema : {"ios18-sms.sql", "ios26-sms.sql"}) {
        SCOPED_TRACE(schema);
        load(QStringLiteral(
            "insert into chat (ROWID, guid, chat_identifier, is_filtered) values (1, 'c1', 'shop', 1), "
            "(2, 'c2', 'shop', 2), (3, 'c3', 'friend', 0), (4, 'c4', 'empty', 1);"
            "insert into message (ROWID, guid, service, is_spam, schedule_type, date, is_sent, attributedBody) values "
            "(1, 'a', 'RCS', 0, 0, 0, 0, null), (2, 'b', 'rcs', 1, 0, 0, 0, null), (3, 'c', 'iMessageLite', 0, 0, 0, 0, null), "
            "(4, 'd', 'iMessage', 0, 2, 737000000000000000, 0, null), (5, 'e', 'SMS', 0, 2, 737000000, 1, null), "
            "(6, 'f', 'iMessage', 0, 1, 5, 1, styled_body(char(65532), '[{\"length\": 1, \"transcription\": \"hi there\"}]'));"
            "insert into chat_message_join (chat_id, message_id) values (2, 5), (1, 4), (3, 1);"),
             1, QLatin1String(schema));
        QStringList seen;
        for (qint64 rowid = 1; rowid <= 6; ++rowid) {
            MsgDetail d;
            ASSERT_TRUE(details->find(rowid, &d));
            seen << QStringLiteral("%1:%2%3 %4%5 %6").arg(rowid).arg(static_cast<int>(d.service)).arg(d.isJunk ? " junk" : "")
                        .arg(d.dateScheduled).arg(d.scheduledSent ? " sent" : "").arg(d.audioTranscription);
        }
        EXPECT_EQ(seen, (QStringList{"1:1 0 ", "2:1 junk 0 ", "3:2 0 ", "4:0 737000000 ", "5:0 737000000 sent ",
                                     "6:0 0 hi there"}));
        // "shop" is filtered in two rows (the stronger one counts) and anchored by
        // its first joined message; "empty" has no message left to anchor it.
        const QList<MsgFilteredChat> filtered = details->filteredChats();
        ASSERT_EQ(filtered.size(), 1);
        EXPECT_EQ(filtered[0].anchor, 4);
        EXPECT_EQ(filtered[0].filter, 2);
    }
}

// An app's payload is read for any balloon but a link's; one that is no
// property list at all (handwriting) is no fault, a broken one is told.
TEST_F(MsgDetailsTest, AppPayloadsNameTheAppAndItsTemplateLayout)
{
    const MsgDetail game = load(QStringLiteral(
        "insert into message (ROWID, guid, balloon_bundle_id, payload_data) values (1, 'A', "
        "'com.apple.messages.MSMessageExtensionBalloonPlugin:0:com.example.game', app_payload('{\"an\": \"Game\", "
        "\"ldtext\": \"Played\", \"userInfo\": {\"caption\": \"c\", \"subcaption\": \"s\", \"image-title\": \"t\", "
        "\"image-subtitle\": \"u\", \"secondary-subcaption\": \"tc\", \"tertiary-subcaption\": \"ts\"}}')), "
        "(2, 'B', 'com.apple.Handwriting.HandwritingProvider', X'0801'), "
        "(3, 'C', 'com.example.other', X'62706C6973743030FFFF');"));
    EXPECT_EQ(QStringList({game.appName, game.appSummary, game.appCaption, game.appSubcaption, game.appImageTitle,
                           game.appImageSubtitle, game.appTrailingCaption, game.appTrailingSubcaption}),
              QStringList({"Game", "Played", "c", "s", "t", "u", "tc", "ts"}));
    MsgDetail handwriting;
    ASSERT_TRUE(details->find(2, &handwriting));
    EXPECT_EQ(handwriting.balloonBundleId, QStringLiteral("com.apple.Handwriting.HandwritingProvider"));
    EXPECT_TRUE(handwriting.appName.isEmpty());
    EXPECT_EQ(ServiceDoubles::get().logsOf("MSGSER").size(), 1u); // message 3's broken list only
}

TEST_F(MsgDetailsTest, OlderSchemasAnswerNoneForWhatTheyLack)
{
    for (const char* schema : {"ios6-sms.sql", "ios14-sms.sql"}) {
        const MsgDetail d = load(QStringLiteral("insert into message (ROWID, guid, text) values (1, 'G1', 'hi'), "
                                                "(4, 'G4', 'there');"),
                                 4, QLatin1String(schema));
        EXPECT_EQ(d.guid, QStringLiteral("G4"));
        EXPECT_FALSE(d.isReaction() || d.dateEdited || !d.editHistory.isEmpty() || !d.effectName.isEmpty());
        EXPECT_EQ(details->count(), 2);
        EXPECT_EQ(details->rowidOf(QStringLiteral("G1")), 1);
        EXPECT_EQ(details->rowidOf(QStringLiteral("G2")), 0);
        EXPECT_FALSE(details->find(2, nullptr));
        EXPECT_TRUE(ServiceDoubles::get().logsOf("MSGSER").empty()) << schema;
        EXPECT_TRUE(details->deletedMessages().isEmpty() && details->filteredChats().isEmpty()) << schema;
    }
    // A service's details are those of its device's folder.
    ServiceDoubles::get().backupPath = backup.folder();
    MsgService service(QStringLiteral("device"), false);
    MsgDetails ofService(service);
    EXPECT_TRUE(ofService.load());
    EXPECT_EQ(ofService.rowidOf(QStringLiteral("G4")), 4);
    // No database: nothing to answer.
    MsgDetails missing(backup.path(QStringLiteral("nowhere")));
    EXPECT_FALSE(missing.load());
    EXPECT_EQ(missing.count(), 0);
}

} // namespace
