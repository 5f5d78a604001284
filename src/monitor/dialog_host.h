#pragma once
// The real dialog host: Qt message boxes and the standard font, colour and
// file dialogs, each opened afresh at the requested screen position.
#include <QPointer>
#include <QWidget>

#include "base/dialogs.h"

namespace orlix {

class QtDialogHost final : public DialogHost {
public:
    // parent: the window the dialogs belong to (may be null).
    explicit QtDialogHost(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }

    MsgResult message(const std::string& text, MsgButtons buttons = MsgButtons::Ok,
                      const std::string& title = {}) override;
    // The detail is the box's informative text.
    MsgResult messageWithDetail(const std::string& text, const std::string& detail) override;
    std::optional<FontChoice> chooseFont(int leftTwips, int topTwips, int flags) override;
    std::optional<Rgb> chooseColor(int leftTwips, int topTwips, int flags) override;
    std::optional<std::string> chooseOpenFile(int leftTwips, int topTwips, const std::string& title,
                                              const std::string& initialDir,
                                              const std::string& filter) override;
    std::optional<std::string> chooseSaveFile(int leftTwips, int topTwips, const std::string& title,
                                              const std::string& initialPath,
                                              const std::string& filter) override;

private:
    MsgResult showMessage(const std::string& text, const std::string& detail, MsgButtons buttons,
                          const std::string& title);

    QPointer<QWidget> parent_;
};

// "description|pattern|description|pattern" as a Qt name filter list.
QStringList qtNameFilters(const std::string& filter);

// The extension of a name filter's first pattern: "png" for "PNG (*.png)";
// empty when it has none.
QString filterSuffix(const QString& nameFilter);

}  // namespace orlix
