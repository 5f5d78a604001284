#include "monitor/dialog_host.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>
#include <QFontDialog>
#include <QMessageBox>

namespace orlix {
namespace {

constexpr int kTwipsPerPixel = 15;

QPoint hostPosition(int leftTwips, int topTwips) {
    return {leftTwips / kTwipsPerPixel, topTwips / kTwipsPerPixel};
}

}  // namespace

MsgResult QtDialogHost::message(const std::string& text, MsgButtons buttons,
                                const std::string& title) {
    return showMessage(text, {}, buttons, title);
}

MsgResult QtDialogHost::messageWithDetail(const std::string& text, const std::string& detail) {
    return showMessage(text, detail, MsgButtons::Ok, {});
}

MsgResult QtDialogHost::showMessage(const std::string& text, const std::string& detail, MsgButtons buttons,
                                    const std::string& title) {
    QMessageBox box(parent_);
    box.setText(QString::fromStdString(text));
    if (!detail.empty()) box.setInformativeText(QString::fromStdString(detail));
    box.setWindowTitle(QString::fromStdString(title));
    switch (buttons) {
    case MsgButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MsgButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case MsgButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return MsgResult::Yes;
    case QMessageBox::No:
        return MsgResult::No;
    case QMessageBox::Cancel:
        return MsgResult::Cancel;
    default:
        // Closing a Yes/No/Cancel box with the window's close button counts
        // as Cancel; a plain box only has OK.
        return buttons == MsgButtons::Ok ? MsgResult::Ok : MsgResult::Cancel;
    }
}

std::optional<FontChoice> QtDialogHost::chooseFont(int leftTwips, int topTwips, int /*flags*/) {
    // Screen and printer fonts are one list here; the flags need no mapping.
    // Opens on the program's standard font, never on the last choice.
    QFontDialog dialog(QApplication::font(), parent_);
    dialog.setOption(QFontDialog::DontUseNativeDialog);
    dialog.move(hostPosition(leftTwips, topTwips));
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QFont f = dialog.selectedFont();
    FontChoice c;
    c.name = f.family().toStdString();
    c.pointSize = f.pointSizeF() > 0 ? f.pointSizeF() : 9.0;
    c.bold = f.bold();
    c.italic = f.italic();
    c.strikeOut = f.strikeOut();
    c.underline = f.underline();
    return c;
}

std::optional<Rgb> QtDialogHost::chooseColor(int leftTwips, int topTwips, int /*flags*/) {
    // Every dialog starts from the default colour, never from the last choice.
    QColorDialog dialog(parent_);
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    dialog.move(hostPosition(leftTwips, topTwips));
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QColor c = dialog.selectedColor();
    if (!c.isValid()) return std::nullopt;
    return Rgb{static_cast<std::uint8_t>(c.red()), static_cast<std::uint8_t>(c.green()),
               static_cast<std::uint8_t>(c.blue())};
}

QStringList qtNameFilters(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(';', ' ');
        out << QStringLiteral("%1 (%2)").arg(parts[i], patterns);
    }
    if (out.isEmpty()) out << QStringLiteral("All files (*)");
    return out;
}

std::optional<std::string> QtDialogHost::chooseOpenFile(int leftTwips, int topTwips,
                                                        const std::string& title,
                                                        const std::string& initialDir,
                                                        const std::string& filter) {
    QFileDialog dialog(parent_, QString::fromStdString(title), QString::fromStdString(initialDir));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    // A typed name of a file that does not exist yet is accepted.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters(qtNameFilters(filter));
    dialog.move(hostPosition(leftTwips, topTwips));
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.front().isEmpty()) return std::nullopt;
    return files.front().toStdString();
}

QString filterSuffix(const QString& nameFilter) {
    static const QRegularExpression firstPattern(QStringLiteral("\\*\\.([A-Za-z0-9]+)"));
    const QRegularExpressionMatch m = firstPattern.match(nameFilter);
    return m.hasMatch() ? m.captured(1) : QString();
}

std::optional<std::string> QtDialogHost::chooseSaveFile(int leftTwips, int topTwips, const std::string& title,
                                                        const std::string& initialPath,
                                                        const std::string& filter) {
    QFileDialog dialog(parent_, QString::fromStdString(title));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    const QStringList filters = qtNameFilters(filter);
    dialog.setNameFilters(filters);
    // A name typed without an extension gets the chosen filter's, before the
    // dialog asks whether to replace an existing file of that name.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog](const QString& f) { dialog.setDefaultSuffix(filterSuffix(f)); });
    const QFileInfo initial(QString::fromStdString(initialPath));
    QString selected = filters.front();
    if (initial.isDir()) {
        dialog.setDirectory(initial.absoluteFilePath());
    } else {
        dialog.setDirectory(initial.absolutePath());
        dialog.selectFile(initial.fileName());
        for (const QString& f : filters)
            if (filterSuffix(f).compare(initial.suffix(), Qt::CaseInsensitive) == 0) selected = f;
    }
    dialog.selectNameFilter(selected);
    dialog.setDefaultSuffix(filterSuffix(selected));
    dialog.move(hostPosition(leftTwips, topTwips));
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.front().isEmpty()) return std::nullopt;
    return files.front().toStdString();
}

}  // namespace orlix
