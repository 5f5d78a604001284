// The rules file: the example loads whole; every kind of bad entry is
// refused with its line, and only that entry is lost.
#include "hub/alarm_rules.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "log_capture.h"

namespace orlix::hub {
namespace {

class RulesFile : public ::testing::Test {
protected:
    RulesLoad load(const std::string& text) {
        path_ = dir_.filePath(QStringLiteral("rules-%1.ini").arg(++files_));
        QFile f(path_);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text.data(), static_cast<qint64>(text.size()));
        f.close();
        return loadAlarmRules(path_);
    }

    // Loads `text`, expecting exactly one error, on `line`, that contains `message`.
    RulesLoad loadWithError(const std::string& text, int line, const std::string& message) {
        RulesLoad r = load(text);
        EXPECT_EQ(r.errors.size(), 1u) << text;
        for (const RuleError& e : r.errors) {
            EXPECT_EQ(e.line, line) << e.message << "\nin:\n" << text;
            EXPECT_NE(e.message.find(message), std::string::npos) << "expected '" << message << "', got '" << e.message
                                                                  << "'\nin:\n" << text;
        }
        return r;
    }

    QTemporaryDir dir_;
    QString path_;
    int files_ = 0;
};

const std::string kReceivers =
    "[receiver:desk]\n"   // line 1
    "type = email\n"
    "to = a@example.com\n"
    "from = hub@example.com\n"
    "[receiver:bus]\n"    // line 5
    "type = mqtt\n";

TEST_F(RulesFile, TheExampleLoadsWhole) {
    const RulesLoad r = loadAlarmRules(QStringLiteral(ORLIX_HUB_RULES_EXAMPLE));
    for (const RuleError& e : r.errors) ADD_FAILURE() << e.text("example");
    const AlarmRules& rules = r.rules;
    EXPECT_EQ(rules.hub.repeatIntervalUs, kMicrosPerHour);
    EXPECT_EQ(rules.hub.offlineAfterUs, kMicrosPerMinute);
    EXPECT_EQ(rules.hub.sendmailCommand, "/usr/sbin/sendmail -t");
    ASSERT_EQ(rules.receivers.size(), 3u);
    const Receiver* desk = rules.receiver("service-desk");
    ASSERT_NE(desk, nullptr);
    EXPECT_EQ(desk->type, ReceiverType::Email);
    EXPECT_EQ(desk->to, (std::vector<std::string>{"service@example.com", "oncall@example.com"}));
    EXPECT_EQ(desk->from, "orlix-hub@example.com");
    EXPECT_EQ(rules.receiver("control-room")->url, "https://alarms.example.com/orlix/hook");
    EXPECT_EQ(rules.receiver("dashboard")->type, ReceiverType::Mqtt);

    ASSERT_EQ(rules.thresholds.size(), 2u);
    const ThresholdRule* pd = rules.threshold("high-discharge-pressure");
    ASSERT_NE(pd, nullptr);
    EXPECT_EQ(pd->columnIndex, 0);
    EXPECT_EQ(pd->direction, ThresholdDirection::Above);
    EXPECT_EQ(pd->limit, 2500);
    EXPECT_EQ(pd->deadband, 50);
    EXPECT_EQ(pd->onDelayUs, 30 * kMicrosPerSecond);
    EXPECT_TRUE(pd->allSites);
    const ThresholdRule* ta = rules.threshold("cold-outdoor-north");
    ASSERT_NE(ta, nullptr);
    EXPECT_EQ(ta->column, "Ta");
    EXPECT_EQ(ta->columnIndex, 5);
    EXPECT_EQ(ta->direction, ThresholdDirection::Below);
    EXPECT_EQ(ta->onDelayUs, 5 * kMicrosPerMinute);
    EXPECT_FALSE(ruleAppliesTo(*ta, "south"));
    EXPECT_TRUE(ruleAppliesTo(*ta, "north-annex"));

    const auto names = [&](std::string_view source) {
        std::vector<std::string> n;
        for (const Receiver* rc : rules.receiversFor(source)) n.push_back(rc->name);
        return n;
    };
    EXPECT_EQ(names("ProtErr"), (std::vector<std::string>{"service-desk", "control-room"}));
    EXPECT_EQ(names("offline"), (std::vector<std::string>{"service-desk"}));
    EXPECT_EQ(names("threshold:high-discharge-pressure"), (std::vector<std::string>{"service-desk", "dashboard"}));
    EXPECT_TRUE(names("threshold:gone").empty());
}

TEST_F(RulesFile, AnEmptyFileGivesTheDefaults) {
    const RulesLoad r = load("; nothing yet\n");
    EXPECT_TRUE(r.errors.empty());
    EXPECT_EQ(r.rules.hub.repeatIntervalUs, kMicrosPerHour);
    EXPECT_EQ(r.rules.hub.offlineAfterUs, kMicrosPerMinute);
    EXPECT_EQ(r.rules.hub.sendmailCommand, "/usr/sbin/sendmail -t");
    EXPECT_TRUE(r.rules.thresholds.empty());
}

// A threshold section of 3 lines after kReceivers (lines 7..9) plus `extra`.
std::string threshold(const std::string& extra, const std::string& head = "[threshold:t]") {
    return kReceivers + head + "\nvalue = Pd\nabove = 2500\n" + extra;
}

TEST_F(RulesFile, BadThresholdEntriesAreRefusedWithTheirLine) {
    const std::tuple<std::string, int, const char*> cases[] = {
        {threshold("abov = 1\n"), 10, "unknown key abov in [threshold:t]"},
        {kReceivers + "[threshold:t]\nvalue = Pdx\nabove = 1\n", 8, "value = Pdx is no value column"},
        {kReceivers + "[threshold:t]\nvalue = Time\nabove = 1\n", 8, "value = Time is no value column"},
        {kReceivers + "[threshold:t]\nvalue = Pd\nabove = 25OO\n", 9, "above = 25OO is not a number"},
        {kReceivers + "[threshold:t]\nvalue = Pd\nbelow = inf\n", 9, "below = inf is not a number"},
        {threshold("on_delay = 30\n"), 10, "on_delay = 30 is not a duration"},
        {threshold("on_delay = 1.5h\n"), 10, "is not a duration"},
        {threshold("on_delay = 31d\n"), 10, "is not a duration"},
        {threshold("on_delay = 721h\n"), 10, "at most 30 days"},
        {threshold("deadband = -5\n"), 10, "deadband must not be negative"},
        {threshold("receivers = desk, pager\n"), 10, "unknown receiver pager"},
        {threshold("sites = north, a/b\n"), 10, "sites: site name holds '/'"},
        {threshold("sites = *, north\n"), 10, "* stands alone"},
        {threshold("below = 5\n"), 7, "needs exactly one of above and below"},
        {kReceivers + "[threshold:t]\nvalue = Pd\n", 7, "needs exactly one of above and below"},
        {kReceivers + "[threshold:t]\nabove = 1\n", 7, "has no value"},
        {threshold("", "[threshold:bad name]"), 7, "bad name in [threshold:bad name]"},
        {threshold("", "[thresold:t]"), 7, "unknown section [thresold:t]"},
        {threshold("above = 2600\n"), 10, "key above given twice (first at line 9)"},
        {threshold("just words\n"), 10, "neither [section] nor key = value"},
    };
    for (const auto& [text, line, message] : cases) {
        const RulesLoad r = loadWithError(text, line, message);
        EXPECT_TRUE(r.rules.thresholds.empty()) << text;
        EXPECT_EQ(r.rules.receivers.size(), 2u) << text;  // the rest loads
    }
}

TEST_F(RulesFile, BadReceiversAreRefusedWithTheirLineAndTakeTheirRulesAlong) {
    const std::tuple<std::string, int, const char*> cases[] = {
        {"[receiver:hook]\ntype = webhook\nurl = ftp://example.com/x\n", 3, "is not an http or https URL"},
        {"[receiver:hook]\ntype = webhook\nurl = https://\n", 3, "is not an http or https URL"},
        {"[receiver:hook]\ntype = webhook\nurl = example.com/hook\n", 3, "is not an http or https URL"},
        {"[receiver:hook]\ntype = webhook\nurl = https://example.com/a,b\n", 3, "takes one value"},
        {"[receiver:hook]\ntype = webhook\n", 1, "has no url"},
        {"[receiver:hook]\ntype = webhook\nurl = https://example.com/\nto = a@example.com\n", 4,
         "to does not belong to a webhook receiver"},
        {"[receiver:hook]\ntype = mqtt\nurl = https://example.com/\n", 3, "url does not belong to an mqtt receiver"},
        {"[receiver:hook]\ntype = pager\n", 2, "type = pager is not webhook, email or mqtt"},
        {"[receiver:hook]\nurl = https://example.com/\n", 1, "has no type"},
        {"[receiver:hook]\ntype = email\nto = a@example.com\n", 1, "needs to and from"},
        {"[receiver:hook]\ntype = email\nto = a@example.com, b example.com\nfrom = h@example.com\n", 3,
         "b example.com is not an address"},
        {"[receiver:hook]\ntype = email\nto = a@example.com\nfrom = <h@example.com>\n", 4, "is not an address"},
        {"[receiver:hook]\ntype = email\nto =\nfrom = h@example.com\n", 3, "to names no address"},
        {"[receiver:hook]\ntype = webhook\nurl = https://example.com/\nretries = 3\n", 4,
         "unknown key retries in [receiver:hook]"},
    };
    for (const auto& [text, line, message] : cases) {
        // A rule naming the refused receiver is refused too, on its receivers line.
        const std::string withRule = text + "[threshold:t]\nvalue = Pd\nabove = 1\nreceivers = hook\n";
        const RulesLoad r = load(withRule);
        ASSERT_EQ(r.errors.size(), 2u) << withRule;
        EXPECT_EQ(r.errors[0].line, line) << r.errors[0].message << "\nin:\n" << withRule;
        EXPECT_NE(r.errors[0].message.find(message), std::string::npos) << r.errors[0].message;
        EXPECT_EQ(r.errors[1].message, "unknown receiver hook");
        EXPECT_TRUE(r.rules.receivers.empty());
        EXPECT_TRUE(r.rules.thresholds.empty());
    }
}

TEST_F(RulesFile, AQuotedValueMayHoldAComma) {
    const RulesLoad r = load("[receiver:hook]\ntype = webhook\nurl = \"https://example.com/a,b\"\n");
    EXPECT_TRUE(r.errors.empty());
    ASSERT_EQ(r.rules.receivers.size(), 1u);
    EXPECT_EQ(r.rules.receivers[0].url, "https://example.com/a,b");
}

TEST_F(RulesFile, ABadHubSettingKeepsItsDefaultAndLosesNothingElse) {
    const std::tuple<std::string, const char*> cases[] = {
        {"repeat_interval = 10 m\n", "repeat_interval = 10 m is not a duration"},
        {"offline_after = 0\n", "offline_after must be more than 0"},
        {"fault_receivers = desk, pager\n", "unknown receiver pager"},
        {"sendmail = \"\"\n", "sendmail is empty"},
        {"colour = red\n", "unknown key colour in [hub]"},
    };
    for (const auto& [bad, message] : cases) {
        const std::string text = kReceivers + "[hub]\noffline_receivers = bus\n" + bad;
        const RulesLoad r = load(text);
        ASSERT_EQ(r.errors.size(), 1u) << text;
        EXPECT_EQ(r.errors[0].line, 9) << text;
        EXPECT_NE(r.errors[0].message.find(message), std::string::npos) << r.errors[0].message;
        EXPECT_EQ(r.rules.hub.offlineReceivers, std::vector<std::string>{"bus"}) << text;
        EXPECT_EQ(r.rules.hub.repeatIntervalUs, kMicrosPerHour);
        EXPECT_EQ(r.rules.hub.offlineAfterUs, kMicrosPerMinute);
        EXPECT_EQ(r.rules.hub.sendmailCommand, "/usr/sbin/sendmail -t");
        EXPECT_TRUE(r.rules.hub.faultReceivers.empty());
    }
}

TEST_F(RulesFile, StructureErrorsNameTheirLines) {
    // A key before any section.
    loadWithError("offline_after = 90s\n[hub]\n", 1, "key outside a section");
    // [General] is QSettings' name for keys outside a section: not ours either.
    loadWithError("[General]\nx = 1\n", 1, "unknown section [General]");
    // The same section twice: QSettings would merge them, so both are dropped.
    const RulesLoad twice = loadWithError(threshold("") + "[threshold:t]\nvalue = Ps\nbelow = 3\n", 10,
                                          "section [threshold:t] given twice (first at line 7)");
    EXPECT_TRUE(twice.rules.thresholds.empty());
    // A file QSettings cannot read as INI loads nothing; the line is named.
    const RulesLoad unclosed = loadWithError(threshold("", "[threshold:t"), 7, "section header without ']'");
    EXPECT_TRUE(unclosed.rules.receivers.empty());
}

TEST_F(RulesFile, LinesCountRightWithCrLfEndingsAByteOrderMarkAndComments) {
    const std::string text = "\xEF\xBB\xBF; rules\r\n# more\r\n\r\n[threshold:t] ; the one rule\r\n"
                             "value = Pd\r\nbelow = x\r\n";
    loadWithError(text, 6, "below = x is not a number");
}

TEST_F(RulesFile, SeveralErrorsAreAllReportedInLineOrder) {
    const std::string text = "[threshold:a]\nvalue = Pd\nabove = x\n"     // 3: bad number
                             "[hub]\nrepeat_interval = often\n"         // 5: bad duration
                             "[receiver:r]\ntype = webhook\nurl = gopher://x\n";  // 8: bad url
    const RulesLoad r = load(text);
    ASSERT_EQ(r.errors.size(), 3u);
    EXPECT_EQ(r.errors[0].line, 3);
    EXPECT_EQ(r.errors[1].line, 5);
    EXPECT_EQ(r.errors[2].line, 8);
    EXPECT_EQ(r.errors[0].text("/etc/orlix/rules.ini"), "/etc/orlix/rules.ini:3: above = x is not a number");
}

TEST_F(RulesFile, AMissingFileIsOneErrorWithoutALine) {
    const RulesLoad r = loadAlarmRules(dir_.filePath(QStringLiteral("absent.ini")));
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors[0].line, 0);
    EXPECT_NE(r.errors[0].message.find("cannot read the rules"), std::string::npos);
    EXPECT_EQ(r.errors[0].text("absent.ini").rfind("absent.ini: cannot read", 0), 0u);
}

TEST_F(RulesFile, ALoadIsLoggedOnceErrorByErrorWithASummary) {
    test::LogCapture log;
    const RulesLoad r = load(threshold("abov = 1\n"));
    reportRulesLoad(r, "rules.ini");
    const auto lines = log.of(log::kHub);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("warning|alarm rules: rules.ini:10: unknown key abov"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("0 threshold rules, 2 receivers, 1 refused entries"), std::string::npos) << lines[1];
}

}  // namespace
}  // namespace orlix::hub
