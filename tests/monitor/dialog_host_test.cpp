#include "monitor/dialog_host.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFontDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

namespace orlix {
namespace {

void ensureApp() {
    if (QCoreApplication::instance()) return;
    static int argc = 1;
    static char name[] = "platform_tests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
}

// Acts on the modal dialog as soon as it is up.
void whenModal(std::function<void(QWidget*)> act) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            act(w);
        }
    });
    timer->start();
}

TEST(QtDialogHost, MessageBoxHasTheGivenButtonsAndNoTitle) {
    ensureApp();
    QtDialogHost host;
    QString text, title;
    int buttons = 0;
    whenModal([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        text = box->text();
        title = box->windowTitle();
        buttons = static_cast<int>(box->buttons().size());
        box->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(host.message("Save?", MsgButtons::YesNoCancel), MsgResult::No);
    EXPECT_EQ(text, "Save?");
    EXPECT_EQ(title, "");
    EXPECT_EQ(buttons, 3);

    whenModal([](QWidget* w) { qobject_cast<QMessageBox*>(w)->button(QMessageBox::Ok)->click(); });
    EXPECT_EQ(host.message("Communcation port cannot be open!!"), MsgResult::Ok);
}

TEST(QtDialogHost, DetailIsASecondLineUnderTheUnchangedText) {
    ensureApp();
    QtDialogHost host;
    QString text, detail, title;
    int buttons = 0;
    whenModal([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        text = box->text();
        detail = box->informativeText();
        title = box->windowTitle();
        buttons = static_cast<int>(box->buttons().size());
        box->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(host.messageWithDetail("Communcation port cannot be open!!", "No permission to read /dev/ttyUSB0."),
              MsgResult::Ok);
    EXPECT_EQ(text, "Communcation port cannot be open!!");
    EXPECT_EQ(detail, "No permission to read /dev/ttyUSB0.");
    EXPECT_EQ(title, "");
    EXPECT_EQ(buttons, 1);

    whenModal([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        detail = box->informativeText();
        box->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(host.messageWithDetail("Communcation port cannot be open!!", ""), MsgResult::Ok);
    EXPECT_EQ(detail, "");
}

TEST(QtDialogHost, ColourDialogOpensAtTheHostPositionAndCancelGivesNothing) {
    ensureApp();
    QtDialogHost host;
    QPoint at;
    whenModal([&](QWidget* w) {
        at = w->pos();
        qobject_cast<QDialog*>(w)->reject();
    });
    EXPECT_FALSE(host.chooseColor(6200, 3200, 1).has_value());
    EXPECT_EQ(at, QPoint(6200 / 15, 3200 / 15));

    whenModal([](QWidget* w) {
        auto* d = qobject_cast<QColorDialog*>(w);
        d->setCurrentColor(QColor(12, 34, 56));
        QMetaObject::invokeMethod(d, "accept");
    });
    const auto c = host.chooseColor(6200, 3200, 1);
    ASSERT_TRUE(c.has_value());
    EXPECT_EQ(*c, (Rgb{12, 34, 56}));
}

TEST(QtDialogHost, FontDialogStartsOnTheStandardFontAndReportsTheChoice) {
    ensureApp();
    QtDialogHost host;
    QFont initial;
    QPoint at;
    whenModal([&](QWidget* w) {
        auto* d = qobject_cast<QFontDialog*>(w);
        initial = d->currentFont();
        at = d->pos();
        d->reject();
    });
    EXPECT_FALSE(host.chooseFont(4000, 2700, 3).has_value());
    EXPECT_EQ(at, QPoint(4000 / 15, 2700 / 15));
    EXPECT_FALSE(initial.bold());
    EXPECT_FALSE(initial.italic());

    whenModal([](QWidget* w) {
        auto* d = qobject_cast<QFontDialog*>(w);
        QFont f = d->currentFont();
        f.setPointSize(15);
        f.setUnderline(true);
        d->setCurrentFont(f);
        QMetaObject::invokeMethod(d, "accept");
    });
    const auto c = host.chooseFont(4000, 2700, 3);
    ASSERT_TRUE(c.has_value());
    EXPECT_DOUBLE_EQ(c->pointSize, 15);
    EXPECT_TRUE(c->underline);
    EXPECT_FALSE(c->name.empty());
}

TEST(QtDialogHost, FileFiltersBecomeQtNameFilters) {
    EXPECT_EQ(qtNameFilters("*.mdb|*.mdb"), QStringList{"*.mdb (*.mdb)"});
    EXPECT_EQ(qtNameFilters("Databases|*.db;*.sqlite|All|*"),
              (QStringList{"Databases (*.db *.sqlite)", "All (*)"}));
    EXPECT_EQ(qtNameFilters(""), QStringList{"All files (*)"});
}

TEST(QtDialogHost, SaveDialogProposesTheFileAndGivesATypedNameTheChosenExtension) {
    ensureApp();
    QtDialogHost host;
    QTemporaryDir dir;
    const std::string filter = "PNG image|*.png|CSV table|*.csv";
    const std::string proposal = QDir(dir.path()).filePath("chart-MasterLive.png").toStdString();
    QString shownDir, shownFilter;
    QPoint at;
    bool saving = false;
    whenModal([&](QWidget* w) {
        auto* d = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(d, nullptr);
        saving = d->acceptMode() == QFileDialog::AcceptSave;
        shownDir = d->directory().absolutePath();
        shownFilter = d->selectedNameFilter();
        at = d->pos();
        d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("report"));  // typed
        QMetaObject::invokeMethod(d, "accept");
    });
    auto chosen = host.chooseSaveFile(3400, 2000, "CurveSave As...", proposal, filter);
    EXPECT_TRUE(saving);
    EXPECT_EQ(shownDir, QDir(dir.path()).absolutePath());
    EXPECT_EQ(shownFilter, QStringLiteral("PNG image (*.png)"));
    EXPECT_EQ(at, QPoint(3400 / 15, 2000 / 15));
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, QDir(dir.path()).filePath("report.png").toStdString());

    // The user picks the CSV entry: a typed name gets ".csv".
    whenModal([](QWidget* w) {
        auto* d = qobject_cast<QFileDialog*>(w);
        auto* types = d->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        types->setCurrentIndex(1);
        emit types->activated(1);  // as a user's choice does
        emit types->textActivated(types->itemText(1));
        d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("report"));  // typed
        QMetaObject::invokeMethod(d, "accept");
    });
    chosen = host.chooseSaveFile(3400, 2000, "CurveSave As...", proposal, filter);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, QDir(dir.path()).filePath("report.csv").toStdString());

    whenModal([](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });
    EXPECT_FALSE(host.chooseSaveFile(3400, 2000, "t", dir.path().toStdString(), filter).has_value());
}

TEST(QtDialogHost, FilterSuffixIsTheFirstPatternsExtension) {
    EXPECT_EQ(filterSuffix(QStringLiteral("PNG image (*.png)")), QStringLiteral("png"));
    EXPECT_EQ(filterSuffix(QStringLiteral("Tables (*.csv *.txt)")), QStringLiteral("csv"));
    EXPECT_EQ(filterSuffix(QStringLiteral("All (*)")), QString());
}

}  // namespace
}  // namespace orlix
