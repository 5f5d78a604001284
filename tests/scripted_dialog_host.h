#pragma once
// A DialogHost that answers from a script and records every request, for
// tests: nothing blocks and every text shown can be read back.
#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/dialogs.h"

namespace orlix {

class ScriptedDialogHost final : public DialogHost {
public:
    struct Request {
        std::string kind;  // "message", "font", "color", "file", "save"
        std::string text;  // message text or dialog title
        std::string title; // message title, or the file dialog's initial folder or path
        int left = 0, top = 0, flags = 0;
        MsgButtons buttons = MsgButtons::Ok;
        std::string detail;  // a message's second line
    };

    std::vector<Request> requests;
    // Answers, used front first; when a queue is empty a message answers Ok
    // (Cancel for Yes/No/Cancel boxes) and every dialog is cancelled.
    std::deque<MsgResult> messageAnswers;
    std::deque<std::optional<FontChoice>> fontAnswers;
    std::deque<std::optional<Rgb>> colorAnswers;
    std::deque<std::optional<std::string>> fileAnswers;  // open and save dialogs

    MsgResult message(const std::string& text, MsgButtons buttons, const std::string& title) override {
        return answerMessage({"message", text, title, 0, 0, 0, buttons, {}});
    }
    MsgResult messageWithDetail(const std::string& text, const std::string& detail) override {
        return answerMessage({"message", text, {}, 0, 0, 0, MsgButtons::Ok, detail});
    }
    std::optional<FontChoice> chooseFont(int left, int top, int flags) override {
        requests.push_back({"font", {}, {}, left, top, flags, MsgButtons::Ok, {}});
        return pop(fontAnswers);
    }
    std::optional<Rgb> chooseColor(int left, int top, int flags) override {
        requests.push_back({"color", {}, {}, left, top, flags, MsgButtons::Ok, {}});
        return pop(colorAnswers);
    }
    std::optional<std::string> chooseOpenFile(int left, int top, const std::string& title,
                                              const std::string& initialDir,
                                              const std::string& filter) override {
        requests.push_back({"file", title, initialDir, left, top, 0, MsgButtons::Ok, {}});
        lastFilter = filter;
        return pop(fileAnswers);
    }
    std::optional<std::string> chooseSaveFile(int left, int top, const std::string& title,
                                              const std::string& initialPath,
                                              const std::string& filter) override {
        requests.push_back({"save", title, initialPath, left, top, 0, MsgButtons::Ok, {}});
        lastFilter = filter;
        return pop(fileAnswers);
    }

    // Texts of the message boxes shown, in order.
    std::vector<std::string> messages() const {
        std::vector<std::string> out;
        for (const auto& r : requests)
            if (r.kind == "message") out.push_back(r.text);
        return out;
    }

    std::string lastFilter;

private:
    MsgResult answerMessage(Request r) {
        const MsgButtons buttons = r.buttons;
        requests.push_back(std::move(r));
        if (!messageAnswers.empty()) {
            const MsgResult a = messageAnswers.front();
            messageAnswers.pop_front();
            return a;
        }
        return buttons == MsgButtons::Ok ? MsgResult::Ok : MsgResult::Cancel;
    }
    template <class T>
    static std::optional<T> pop(std::deque<std::optional<T>>& q) {
        if (q.empty()) return std::nullopt;
        auto v = q.front();
        q.pop_front();
        return v;
    }
};

}  // namespace orlix
