// The analyzer's load command with Jet 4.0 files: converted by orlix-import
// in a separate process behind a progress dialog that can cancel, and a
// converter that dies leaves the window running and no file behind.
#include "analyzer/older_recording.h"

#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "../database/db_test_util.h"
#include "../database/jet_test_util.h"
#include "analyzer_test_util.h"

namespace orlix {
namespace {

namespace fs = std::filesystem;
using testing::AnalyzerFixture;
using testing::makeJetFile;
using testing::ScratchDir;

class OlderRecordingTest : public ::testing::Test, public AnalyzerFixture {
protected:
    OlderRecordingTest() { analyzer::setImporterProgram(QStringLiteral(ORLIX_IMPORT_BIN)); }
    ~OlderRecordingTest() override { analyzer::setImporterProgram({}); }
    void load(const std::string& path) {
        dialogs.fileAnswers.push_back(path);
        action("mnuOptionLoadDB")->trigger();
    }
    std::size_t entries() const { return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir.path()), {})); }
    ScratchDir dir;
};

TEST_F(OlderRecordingTest, LoadConvertsInTheToolAndShowsTheCopy) {
    makeJetFile(dir.file("site.mdb"), 1000);
    load(dir.file("site.mdb"));
    const QString copy = QString::fromStdString(dir.file("site.sqlite.mdb"));
    EXPECT_TRUE(status(3)->text().startsWith(QStringLiteral("DataBase Path:") + copy)) << status(3)->text().toStdString();
    EXPECT_EQ(status(4)->text(), QStringLiteral("DataBaseCount:1000"));
    EXPECT_EQ(countRecords(copy.toStdString()), 1000);
    EXPECT_TRUE(dialogs.messages().empty());
    if (const char* png = std::getenv("ORLIX_SHOT_DIR")) {
        w->show();
        w->grab().save(QString::fromLocal8Bit(png) + QStringLiteral("/analyzer_converted.png"));
    }
}

TEST_F(OlderRecordingTest, ProgressDialogShowsForALargeFileAndCancels) {
    makeJetFile(dir.file("big.mdb"), 300000);
    const QString before = status(3)->text();
    bool seen = false;
    QTimer poll;
    poll.setInterval(50);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dlg = w->findChild<QProgressDialog*>(QStringLiteral("dlgImport"));
        if (!dlg || !dlg->isVisible() || dlg->value() <= 0) return;
        seen = true;
        EXPECT_EQ(dlg->labelText(), QStringLiteral("Converting big.mdb ..."));
        EXPECT_EQ(dlg->maximum(), 300000);
        if (const char* png = std::getenv("ORLIX_SHOT_DIR"))
            dlg->grab().save(QString::fromLocal8Bit(png) + QStringLiteral("/import_progress.png"));
        poll.stop();
        dlg->findChild<QPushButton*>()->click();
    });
    poll.start();
    load(dir.file("big.mdb"));
    EXPECT_TRUE(seen);
    EXPECT_EQ(status(3)->text(), before) << "a cancelled conversion changes nothing";
    EXPECT_TRUE(dialogs.messages().empty());
    EXPECT_EQ(entries(), 1u) << "nothing left beside the Jet file";
}

TEST_F(OlderRecordingTest, AConverterThatDiesLeavesNoFileAndTheLoadFailsAsBefore) {
    makeJetFile(dir.file("site.mdb"), 10);
    const std::string tool = dir.file("dies.sh");
    std::ofstream(tool) << "#!/bin/sh\neval last=\\${$#}\ntouch \"$last.$$.part\"\nkill -SEGV $$\n";
    fs::permissions(tool, fs::perms::owner_all);
    analyzer::setImporterProgram(QString::fromStdString(tool));
    load(dir.file("site.mdb"));
    EXPECT_EQ(dialogs.messages(), std::vector<std::string>{dbtext::kHistoryNotOk});
    EXPECT_TRUE(status(3)->text() == QStringLiteral("DataBase Path:") + QString::fromStdString(dir.file("site.mdb")) + QStringLiteral("disabled..."))
        << status(3)->text().toStdString();
    EXPECT_EQ(entries(), 2u) << "only the Jet file and the tool";
}

}  // namespace
}  // namespace orlix
