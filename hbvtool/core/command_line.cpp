#include "command_line.h"

#include "hex_text.h"
#include "text_format.h"
#include "texts.h"

#include <map>

namespace {

struct CommandName {
    const char* name;
    Action action;
    std::size_t operands;
    bool needsYes;
};

constexpr CommandName kCommands[] = {
    {"list", Action::List, 0, false},
    {"boards", Action::Boards, 0, false},
    {"watch", Action::Watch, 0, false},
    {"version", Action::Version, 0, false},
    {"eeprom-read", Action::EepromRead, 2, false},
    {"eeprom-write", Action::EepromWrite, 2, true},
    {"send", Action::Send, 1, false},
    {"bootloader", Action::Bootloader, 0, true},
    {"check", Action::Check, 0, false},
};

// Whether an option belongs to a command: --folder to check, --dll to every command that
// loads a board DLL, the others to watch.
bool optionFits(const std::string& option, Action action) {
    if (option == "--folder") return action == Action::Check;
    if (option == "--dll") return action != Action::Check;
    return action == Action::Watch;
}

// Decimal, or hexadecimal after 0x; no sign, no spaces.
bool readNumber(const std::string& text, std::uint32_t most, std::uint32_t& value) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    if (digits.empty() || digits.size() > 10) return false;
    std::uint64_t number = 0;
    for (char c : digits) {
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (digit < 0) return false;
        number = number * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit);
    }
    if (number > most) return false;
    value = static_cast<std::uint32_t>(number);
    return true;
}

// A negative number is an operand, so that it gets the operand's own message.
bool looksLikeOption(const std::string& word) {
    return word.size() > 1 && word[0] == '-' && !(word[1] >= '0' && word[1] <= '9');
}

class Parser {
  public:
    explicit Parser(const std::vector<std::string>& arguments) : arguments_(arguments) {}

    ParsedCommandLine parse() {
        if (!readWords()) return result_;
        if (help_) {
            result_.command.action = Action::Help;
            return result_;
        }
        if (words_.empty()) return fail(texts::kNoCommand);
        readCommand();
        return result_;
    }

  private:
    // Splits the options from the command and its operands. Options may stand anywhere.
    bool readWords() {
        for (std::size_t i = 0; i < arguments_.size(); ++i) {
            const std::string& word = arguments_[i];
            if (word == "--help" || word == "-h" || word == "/?") {
                help_ = true;
            } else if (word == "--yes") {
                yes_ = true;
            } else if (word == "--all") {
                options_[word] = "";
            } else if (word == "--dll" || word == "--count" || word == "--seconds" ||
                       word == "--record" || word == "--folder") {
                if (i + 1 == arguments_.size()) return failed(texts::kMissingValue + word);
                options_[word] = arguments_[++i];
            } else if (looksLikeOption(word) && !help_) {
                return failed(texts::kUnknownOption + word);
            } else {
                words_.push_back(word);
            }
        }
        return true;
    }

    void readCommand() {
        const std::string& name = words_.front();
        const CommandName* command = nullptr;
        for (const CommandName& candidate : kCommands) {
            if (name == candidate.name) command = &candidate;
        }
        if (!command) return void(fail(texts::kUnknownCommand + name));
        Command& result = result_.command;
        result.action = command->action;
        if (words_.size() - 1 < command->operands)
            return void(fail(texts::kMissingArgument + name));
        if (words_.size() - 1 > command->operands) {
            return void(fail(texts::kExtraArgument + words_[command->operands + 1]));
        }
        if (!readOptionsFor(*command)) return;
        if (command->needsYes && !yes_) return void(fail(texts::kNeedsYes));
        readOperands();
    }

    bool readOptionsFor(const CommandName& command) {
        for (const auto& [option, value] : options_) {
            if (!optionFits(option, command.action)) return failed(texts::kUnknownOption + option);
        }
        if (yes_ && !command.needsYes) return failed(texts::kUnknownOption + std::string("--yes"));
        Command& result = result_.command;
        result.dllPath = optionValue("--dll");
        result.folder = optionValue("--folder");
        result.watch.recordPath = optionValue("--record");
        result.watch.everyPacket = options_.count("--all") > 0;
        return readPositive("--count", result.watch.packets) &&
               readPositive("--seconds", result.watch.seconds);
    }

    void readOperands() {
        Command& command = result_.command;
        switch (command.action) {
            case Action::EepromRead:
                if (readAddress(words_[1])) readCount(words_[2]);
                break;
            case Action::EepromWrite:
                if (readAddress(words_[1]) && readBytes(words_[2])) {
                    if (command.bytes.size() > kMaxEepromWriteCount) {
                        fail(texts::kBadWriteLength + std::to_string(command.bytes.size()));
                    }
                }
                break;
            case Action::Send:
                if (readBytes(words_[1]) && command.bytes.size() > kMaxWriteBlock) {
                    fail(texts::kBadSendLength + std::to_string(command.bytes.size()));
                }
                break;
            default: break;
        }
    }

    bool readAddress(const std::string& text) {
        std::uint32_t value = 0;
        if (!readNumber(text, 255, value)) return failed(texts::kBadAddress + text);
        result_.command.address = static_cast<std::uint8_t>(value);
        return true;
    }

    bool readCount(const std::string& text) {
        std::uint32_t value = 0;
        if (!readNumber(text, kMaxEepromReadCount, value) || value == 0) {
            return failed(texts::kBadReadCount + text);
        }
        result_.command.count = static_cast<std::uint8_t>(value);
        return true;
    }

    bool readBytes(const std::string& text) {
        std::vector<std::uint8_t>& bytes = result_.command.bytes;
        if (!fromHex(text, bytes) || bytes.empty()) return failed(texts::kBadHex + text);
        return true;
    }

    bool readPositive(const std::string& option, std::optional<std::uint32_t>& target) {
        const auto found = options_.find(option);
        if (found == options_.end()) return true;
        std::uint32_t value = 0;
        if (!readNumber(found->second, 0xFFFFFFFFu, value) || value == 0) {
            return failed(texts::kBadPositive + option + " " + found->second);
        }
        target = value;
        return true;
    }

    std::string optionValue(const std::string& option) const {
        const auto found = options_.find(option);
        return found == options_.end() ? std::string() : found->second;
    }

    ParsedCommandLine fail(const std::string& reason) {
        result_.error = reason;
        return result_;
    }
    bool failed(const std::string& reason) {
        fail(reason);
        return false;
    }

    const std::vector<std::string>& arguments_;
    std::vector<std::string> words_;
    std::map<std::string, std::string> options_;
    bool help_ = false;
    bool yes_ = false;
    ParsedCommandLine result_;
};

}  // namespace

ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments) {
    return Parser(arguments).parse();
}

bool writeBlock(const std::vector<std::uint8_t>& bytes, const char* modelName, unsigned blockSize,
                std::vector<std::uint8_t>& block, std::string& error) {
    if (bytes.size() > blockSize) {
        error = formatText(texts::kBadBlockLength, modelName, blockSize,
                           static_cast<unsigned>(bytes.size()));
        return false;
    }
    block = bytes;
    block.resize(blockSize, 0);
    return true;
}
