#pragma once
// The dialog seam: message boxes and the common dialogs (font, colour, file
// open and save) that the windows show. The real host shows Qt dialogs at the given
// screen position; tests plug in a scripted host that answers without
// blocking and records what was asked.
#include <optional>
#include <string>

#include "base/rgb.h"

namespace orlix {

enum class MsgButtons { Ok, YesNo, YesNoCancel };
enum class MsgResult { Ok, Yes, No, Cancel };

struct FontChoice {
    std::string name;  // may be empty: then only size and styles apply
    double pointSize = 9.0;
    bool bold = false, italic = false, strikeOut = false, underline = false;
};

class DialogHost {
public:
    virtual ~DialogHost() = default;
    // A plain message box; no title unless one is given.
    virtual MsgResult message(const std::string& text, MsgButtons buttons = MsgButtons::Ok,
                              const std::string& title = {}) = 0;
    // A plain OK box with `detail` as a second line under its text (a reason
    // and what to do about it); the text itself stays as given. An empty
    // detail, or a host without that place, gives the plain box.
    virtual MsgResult messageWithDetail(const std::string& text, const std::string& detail) {
        (void)detail;
        return message(text);
    }
    // Common dialogs hosted at (left, top) in twips. std::nullopt means the
    // user cancelled. Each call opens a fresh dialog (no memory of the last
    // choice).
    virtual std::optional<FontChoice> chooseFont(int leftTwips, int topTwips, int flags) = 0;
    virtual std::optional<Rgb> chooseColor(int leftTwips, int topTwips, int flags) = 0;
    // filter is "description|pattern", e.g. "*.mdb|*.mdb". A typed name of a
    // file that does not exist is accepted.
    virtual std::optional<std::string> chooseOpenFile(int leftTwips, int topTwips,
                                                      const std::string& title,
                                                      const std::string& initialDir,
                                                      const std::string& filter) = 0;
    // A file-save dialog opened on `initialPath` (a folder, or a folder and
    // a proposed file name). filter as above, several entries allowed; a
    // name typed without an extension gets the chosen entry's. Asks before
    // replacing an existing file. A host that has no save dialog answers as
    // if the user cancelled.
    virtual std::optional<std::string> chooseSaveFile(int /*leftTwips*/, int /*topTwips*/,
                                                      const std::string& /*title*/,
                                                      const std::string& /*initialPath*/,
                                                      const std::string& /*filter*/) {
        return std::nullopt;
    }
};

}  // namespace orlix
