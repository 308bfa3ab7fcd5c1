// hbvtool list and boards: the system's HID interfaces as the library's own search sees them.
#include "tool_commands.h"

#include "console.h"
#include "report_lines.h"
#include "text_format.h"
#include "texts.h"
#include "win32_hid_backend.h"

namespace {

// Calls visit for every interface of the system's list, in its order; false when the system
// gives no list.
template <typename Visit>
bool visitInterfaces(Visit visit) {
    Win32HidBackend backend;
    const std::unique_ptr<HidInterfaceList> list = backend.listPresentInterfaces();
    if (!list) return false;
    for (std::size_t index = 0;; ++index) {
        HidInterface found;
        if (!list->openInterface(index, found)) return true;
        visit(found);
    }
}

// Ids of an interface that did not open are unknown, so it is never a board.
const BoardVariant* boardOf(const HidInterface& found) {
    return found.device ? boardModelOf(found.vendorId, found.productId) : nullptr;
}

}  // namespace

ExitStatus listInterfaces() {
    unsigned interfaces = 0;
    unsigned boards = 0;
    const bool listed = visitInterfaces([&](const HidInterface& found) {
        ++interfaces;
        printLine(
            interfaceLine(found.device != nullptr, found.vendorId, found.productId, found.path));
        if (boardOf(found)) ++boards;
    });
    if (!listed) {
        printErrorLine(texts::kHidListFailed);
        return kFailed;
    }
    if (interfaces == 0) printLine(texts::kNoInterfaces);
    if (boards == 0) {
        printLine(texts::kNoBoardListed);
        printErrorLine(texts::kBoardNotFound);
        return kFailed;
    }
    printLine(formatText(texts::kBoardsListed, boards));
    return kSucceeded;
}

ExitStatus listBoards() {
    const bool listed = visitInterfaces([](const HidInterface& found) {
        if (const BoardVariant* model = boardOf(found)) printLine(model->name);
    });
    if (listed) return kSucceeded;
    printErrorLine(texts::kHidListFailed);
    return kFailed;
}
