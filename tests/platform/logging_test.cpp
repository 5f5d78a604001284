#include "platform/logging.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLoggingCategory>
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

TEST_F(QtLogSink, MessagesReachTheCategoryOfTheSameNameInOneLineLayout) {
    log::warning(log::kDatabase, "storing 45 samples in /x.mdb failed: disk I/O error");
    log::info(log::kSerial, "opened /dev/ttyUSB0");
    log::debug(log::kSerial, "debug is off by default");
    log::critical("orlix.nonesuch", "a name that is no category");
    ASSERT_EQ(gSeen.size(), 3u);
    EXPECT_EQ(gSeen[0].type, QtWarningMsg);
    EXPECT_EQ(gSeen[0].category, "orlix.database");
    EXPECT_EQ(gSeen[0].message, "storing 45 samples in /x.mdb failed: disk I/O error");
    EXPECT_EQ(gSeen[0].formatted, "orlix.database: warning: storing 45 samples in /x.mdb failed: disk I/O error");
    EXPECT_EQ(gSeen[1].type, QtInfoMsg);
    EXPECT_EQ(gSeen[1].formatted, "orlix.serial: info: opened /dev/ttyUSB0");
    // No category is made at run time: an unknown name is not lost.
    EXPECT_EQ(gSeen[2].type, QtCriticalMsg);
    EXPECT_EQ(gSeen[2].category, "orlix.app");
}

TEST_F(QtLogSink, EveryCategoryIsDeclaredAndSwitchedByTheRules) {
    for (const char* name : log::kCategories) {
        gSeen.clear();
        log::info(name, "on");
        log::debug(name, "off");
        ASSERT_EQ(gSeen.size(), 1u) << name;
        EXPECT_EQ(gSeen[0].category, name);
    }
    QLoggingCategory::setFilterRules(QStringLiteral("orlix.database=false\norlix.ui.debug=true"));
    gSeen.clear();
    log::warning(log::kDatabase, "silenced");
    log::debug(log::kUi, "switched on");
    ASSERT_EQ(gSeen.size(), 1u);
    EXPECT_EQ(gSeen[0].message, "switched on");
    EXPECT_EQ(gSeen[0].category, "orlix.ui");
}

}  // namespace
}  // namespace orlix
