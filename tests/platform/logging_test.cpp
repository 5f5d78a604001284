#include "platform/logging.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QString>
#include <string>
#include <vector>

#include "base/log.h"

namespace orlix {
namespace {

struct Seen {
    QtMsgType type;
    std::string category, message, formatted;
};
std::vector<Seen> gSeen;

void collect(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    gSeen.push_back({type, context.category ? context.category : "", message.toStdString(),
                     qFormatLogMessage(type, context, message).toStdString()});
}

// Routes platform/log.h into Qt and collects what Qt's message handler
// receives; restores the stderr writer and Qt's rules at the end.
class QtLogSink : public testing::Test {
protected:
    void SetUp() override {
        gSeen.clear();
        installQtLogSink();
        previous_ = qInstallMessageHandler(&collect);
    }
    void TearDown() override {
        qInstallMessageHandler(previous_);
        QLoggingCategory::setFilterRules(QString());
        log::setSink(nullptr);
    }
    QtMessageHandler previous_ = nullptr;
};

TEST_F(QtLogSink, PlainLayerMessagesReachTheCategoryOfTheSameName) {
    log::warning(log::kDatabase, "storing 45 samples in /x.mdb failed: disk I/O error");
    log::info(log::kSerial, "opened /dev/ttyUSB0");
    log::debug(log::kSerial, "debug is off by default");
    log::critical("orlix.other", "a category of no window layer");
    ASSERT_EQ(gSeen.size(), 3u);
    EXPECT_EQ(gSeen[0].type, QtWarningMsg);
    EXPECT_EQ(gSeen[0].category, "orlix.database");
    EXPECT_EQ(gSeen[0].message, "storing 45 samples in /x.mdb failed: disk I/O error");
    EXPECT_EQ(gSeen[0].formatted, "orlix.database: warning: storing 45 samples in /x.mdb failed: disk I/O error");
    EXPECT_EQ(gSeen[1].type, QtInfoMsg);
    EXPECT_EQ(gSeen[1].formatted, "orlix.serial: info: opened /dev/ttyUSB0");
    EXPECT_EQ(gSeen[2].type, QtCriticalMsg);
    EXPECT_EQ(gSeen[2].category, "orlix.other");
}

TEST_F(QtLogSink, RulesSwitchBothWaysOfLoggingAlike) {
    QLoggingCategory::setFilterRules(QStringLiteral("orlix.database=false\norlix.ui.debug=true"));
    log::warning(log::kDatabase, "silenced");
    qCWarning(lcDatabase) << "silenced too";
    log::debug(log::kUi, "switched on");
    qCDebug(lcUi) << "switched on too";
    ASSERT_EQ(gSeen.size(), 2u);
    EXPECT_EQ(gSeen[0].message, "switched on");
    EXPECT_EQ(gSeen[1].category, "orlix.ui");
    EXPECT_FALSE(lcDatabase().isWarningEnabled());
}

TEST_F(QtLogSink, CategoryObjectsCarryTheNamesOfThePlainLayer) {
    EXPECT_STREQ(lcApp().categoryName(), log::kApp);
    EXPECT_STREQ(lcSerial().categoryName(), log::kSerial);
    EXPECT_STREQ(lcDatabase().categoryName(), log::kDatabase);
    EXPECT_STREQ(lcUi().categoryName(), log::kUi);
    EXPECT_STREQ(lcChart().categoryName(), log::kChart);
    EXPECT_STREQ(lcComm().categoryName(), log::kComm);
    EXPECT_TRUE(lcSerial().isInfoEnabled());
    EXPECT_FALSE(lcSerial().isDebugEnabled());
}

}  // namespace
}  // namespace orlix
