// A dialog that only remembers what the logic did to it.
#pragma once

#include "ports.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct FakeControl {
    std::string text;
    bool enabled = true;
    bool checked = false;
};

struct ShownMessage {
    std::string text;
    std::string caption;
    MessageKind kind;
};

class FakeDialog : public DialogPort {
  public:
    std::map<int, FakeControl> controls;
    std::vector<ShownMessage> messages;
    std::optional<DialogResult> closedWith;
    std::string title;

    void setTitle(const std::string& text) override { title = text; }
    void setText(int id, const std::string& text) override { controls[id].text = text; }
    std::string getText(int id, int maxChars) override {
        return controls[id].text.substr(0, maxChars);
    }
    void enable(int id, bool enabled) override { controls[id].enabled = enabled; }
    bool isChecked(int id) override { return controls[id].checked; }
    void setChecked(int id, bool checked) override { controls[id].checked = checked; }
    void showMessage(const std::string& text, const std::string& caption,
                     MessageKind kind) override {
        messages.push_back({text, caption, kind});
    }
    void close(DialogResult result) override { closedWith = result; }
    void discardQueuedInput() override {
        ++discardCount;
        if (onDiscard) onDiscard();
    }

    int discardCount = 0;
    std::function<void()> onDiscard;

    const std::string& text(int id) { return controls[id].text; }
    bool enabled(int id) { return controls[id].enabled; }
    const ShownMessage& lastMessage() const { return messages.back(); }
};
