// What the calibration logic needs from the platform: a dialog to show texts and messages in,
// and a way to run a calibrator and to end the process. Tests stand in for both.
#pragma once

#include <string>

enum class MessageKind { Error, Notice };
enum class DialogResult { Ok, Cancel };

class DialogPort {
  public:
    virtual ~DialogPort() = default;

    virtual void setTitle(const std::string& utf8Text) = 0;
    virtual void setText(int controlId, const std::string& utf8Text) = 0;
    // Reads at most maxChars characters of the control's text.
    virtual std::string getText(int controlId, int maxChars) = 0;
    virtual void enable(int controlId, bool enabled) = 0;
    virtual bool isChecked(int controlId) = 0;
    virtual void setChecked(int controlId, bool checked) = 0;
    // A modal message box owned by this dialog, with one OK button, on top of everything.
    virtual void showMessage(const std::string& utf8Text, const std::string& utf8Caption,
                             MessageKind kind) = 0;
    virtual void close(DialogResult result) = 0;
    // Drops the mouse and keyboard input that queued up for the program's windows while a
    // calibrator blocked them, so that none of it fires a handler afterwards.
    virtual void discardQueuedInput() = 0;
};

class ProcessPort {
  public:
    virtual ~ProcessPort() = default;

    // Runs one command line through the command interpreter and waits for its end.
    virtual void runCommand(const std::string& commandLine) = 0;
    // Ends the process; the real one never returns, a test double does.
    virtual void exitProcess(int status) = 0;
};

// The standard library's command interpreter and normal exit.
class StdProcessPort : public ProcessPort {
  public:
    void runCommand(const std::string& commandLine) override;
    void exitProcess(int status) override;
};
