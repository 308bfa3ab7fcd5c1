// The operator's guide (docs/guide/index.html) against the program: every picture it shows is
// there, and every step and message of the program is quoted in it word for word, so that a
// changed text, or a new one, without its section in the guide fails here.
#include "texts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    EXPECT_TRUE(in) << "cannot read " << file;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// The guide's text as a browser shows it, as far as the quotes need: source line ends are
// white space, <br> a line break, and the entities the quotes use their characters.
std::string shownText(std::string html) {
    html = replaceAll(html, "\n", " ");
    html = replaceAll(html, "<br>", "\n");
    for (const auto& [entity, character] : std::vector<std::pair<std::string, std::string>>{
             {"&nbsp;", " "}, {"&quot;", "\""}, {"&lt;", "<"}, {"&gt;", ">"}, {"&amp;", "&"}}) {
        html = replaceAll(html, entity, character);
    }
    return html;
}

struct OperatorText {
    const char* name;  // its name in texts.h
    std::vector<std::string> quotes;
};

template <typename Texts>
std::vector<std::string> all(const Texts& texts) {
    return std::vector<std::string>(std::begin(texts), std::end(texts));
}

std::vector<std::string> allStepTexts() {
    std::vector<std::string> quotes;
    for (const texts::StepTexts& step : texts::kStepTexts) {
        quotes.insert(quotes.end(), {step.title, step.captureInstruction, step.captureCompletion,
                                     step.manualPrompt, step.rememberCompletion});
    }
    return quotes;
}

std::vector<std::string> invalidPairMessages() {
    std::vector<std::string> quotes;
    for (const char* control : texts::kInvalidPairControls) {
        quotes.push_back(std::string(texts::kInvalidPairPrefix) + control);
    }
    return quotes;
}

std::string uncalibratedMessage() {
    std::string text = texts::kResultWrittenPartly;
    for (const char* control : texts::kUncalibratedControls) text += control;
    return text;
}

// Every text an operator reads as an instruction or a message, as the guide must quote it. The
// capture-file messages name a file after their text.
const std::vector<OperatorText>& operatorTexts() {
    static const std::vector<OperatorText> texts = {
        {"kMessageCaption", {texts::kMessageCaption}},
        {"kStartStatus", {texts::kStartStatus}},
        {"kOkHintText", {texts::kOkHintText}},
        {"kHelpCaption", {texts::kHelpCaption}},
        {"kTwoSimilarDlls", {texts::kTwoSimilarDlls}},
        {"kIncompatibleInterfaces", {texts::kIncompatibleInterfaces}},
        {"kCaptureNotFound",
         {std::string(texts::kCaptureNotFound) + "calib_w.tmp",
          std::string(texts::kCaptureNotFound) + "calib_s.tmp"}},
        {"kCaptureUnreadable", {std::string(texts::kCaptureUnreadable) + "calib_w.tmp"}},
        {"kGearLine1Unreadable", {texts::kGearLine1Unreadable}},
        {"kGearLine2Unreadable", {texts::kGearLine2Unreadable}},
        {"kDefaultsNotFound", {texts::kDefaultsNotFound}},
        {"kDefaultsDamaged", {texts::kDefaultsDamaged}},
        {"kInvalidPairPrefix", invalidPairMessages()},
        {"kResultOpenFailed", {texts::kResultOpenFailed}},
        {"kResultWriteFailed", {texts::kResultWriteFailed}},
        {"kResultWritten", {texts::kResultWritten}},
        {"kResultWrittenPartly", {uncalibratedMessage()}},
        {"kDefaultsRestored", {texts::kDefaultsRestored}},
        {"kStepTexts", allStepTexts()},
        {"kContinueStatus", {texts::kContinueStatus}},
        {"kOldValuesCaption", {texts::kOldValuesCaption}},
        {"kAllControlsDone", {texts::kAllControlsDone}},
        {"kGearboxTitle", {texts::kGearboxTitle}},
        {"kCaptureGearCaption", {texts::kCaptureGearCaption}},
        {"kGearWriteCaption", {texts::kGearWriteCaption}},
        {"kGearInstructions", all(texts::kGearInstructions)},
        {"kSelectGearFirst", {texts::kSelectGearFirst}},
        {"kGearCaptureNotice1", {texts::kGearCaptureNotice1}},
        {"kGearCaptureNotice2", {texts::kGearCaptureNotice2}},
        {"kAllGearsCaptured", {texts::kAllGearsCaptured}},
        {"kGearRuleMessages", all(texts::kGearRuleMessages)},
        {"kGearboxOpenFailed", {texts::kGearboxOpenFailed}},
        {"kGearboxWriteFailed", {texts::kGearboxWriteFailed}},
        {"kGearboxWritten", {texts::kGearboxWritten}},
        {"kGearReportOpenFailed", {texts::kGearReportOpenFailed}},
        {"kGearReportWriteFailed", {texts::kGearReportWriteFailed}},
        {"kGearReportWritten", {std::string(texts::kGearReportWritten) + TRIMDESK_SUPPORT_ADDRESS}},
    };
    return texts;
}

// Texts that are parts of the ones above or captions and labels the guide's pictures show.
const std::set<std::string> kShownInPicturesOnly = {
    "kGearboxButtonCaption",
    "kHelpPieces",
    "kDefaultLineFormats",
    "kInvalidPairControls",
    "kUncalibratedControls",
    "kGearRadioCaptions",
    "kGearCancelCaption",
    "kGearInstructionsTitle",
    "kBlank",
};

// The names texts.h declares, read from its source: a text added there must be sorted into
// one of the two lists above, and so gets its section in the guide or a reason why not.
std::set<std::string> declaredTextNames() {
    const std::string header = readFile(TRIMDESK_TEXTS_HEADER);
    const std::regex declaration(R"(inline\s+constexpr\s+[^=;]*?\b(k[A-Z]\w*)\s*=)");
    std::set<std::string> names;
    for (std::sregex_iterator it(header.begin(), header.end(), declaration), end; it != end; ++it) {
        names.insert((*it)[1]);
    }
    return names;
}

const fs::path kGuideFolder = TRIMDESK_GUIDE_DIR;

TEST(Guide, EveryTextOfTheProgramIsSortedIntoQuotedOrShownInPictures) {
    const std::set<std::string> declared = declaredTextNames();
    ASSERT_GT(declared.size(), 40u) << "texts.h's declarations were not found";
    std::set<std::string> sorted = kShownInPicturesOnly;
    for (const OperatorText& text : operatorTexts()) sorted.insert(text.name);
    for (const std::string& name : declared) {
        EXPECT_EQ(sorted.count(name), 1u)
            << "texts.h's " << name << " is new: give it its section in docs/guide/index.html "
            << "and list it in operatorTexts(), or list it as shown in pictures only";
    }
    for (const std::string& name : sorted) {
        EXPECT_EQ(declared.count(name), 1u) << name << " is no longer in texts.h";
    }
}

TEST(Guide, QuotesEveryStepAndMessageOfTheProgramExactly) {
    const std::string guide = shownText(readFile(kGuideFolder / "index.html"));
    for (const OperatorText& text : operatorTexts()) {
        for (const std::string& quote : text.quotes) {
            EXPECT_NE(guide.find(quote), std::string::npos)
                << "docs/guide/index.html does not quote " << text.name << ":\n"
                << quote;
        }
    }
}

TEST(Guide, ShowsOnlyPicturesThatExistBesideIt) {
    const std::string guide = readFile(kGuideFolder / "index.html");
    const std::regex image(R"re(<img\s+src="([^"]+)")re");
    std::size_t pictures = 0;
    for (std::sregex_iterator it(guide.begin(), guide.end(), image), end; it != end; ++it) {
        ++pictures;
        EXPECT_TRUE(fs::is_regular_file(kGuideFolder / (*it)[1].str()))
            << "docs/guide/" << (*it)[1] << " is missing";
    }
    EXPECT_GT(pictures, 0u);
}

}  // namespace
