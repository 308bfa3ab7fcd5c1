// hbvtool check: the working folder and the data directory (portable part), then the board
// DLLs in the folder, the boards attached and whether a board answers through its DLL.
#include "tool_commands.h"

#include "board_dll.h"
#include "console.h"
#include "data_directory.h"
#include "folder_check.h"
#include "report_lines.h"
#include "text_format.h"
#include "texts.h"
#include "variant.h"
#include "wide_text.h"
#include "win32_hid_backend.h"

#include <windows.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>

namespace {

#ifdef _WIN64
constexpr WORD kOwnMachine = IMAGE_FILE_MACHINE_AMD64;
#else
constexpr WORD kOwnMachine = IMAGE_FILE_MACHINE_I386;
#endif

const char* architectureName(WORD machine) {
    if (machine == IMAGE_FILE_MACHINE_I386) return "i686";
    if (machine == IMAGE_FILE_MACHINE_AMD64) return "x86_64";
    return "?";
}

// What the file of a DLL says about itself, read without loading it: a DLL of the other
// architecture does not load into this program, and a marker file is never run.
struct DllImage {
    WORD machine = 0;
    const BoardVariant* model = nullptr;  // by the names it exports
};

class PeFile {
  public:
    explicit PeFile(const std::wstring& path) {
        std::ifstream file(path.c_str(), std::ios::binary);
        bytes_.assign(std::istreambuf_iterator<char>(file), {});
    }

    // The record at an offset of the file, or null when it does not fit.
    template <typename Record>
    const Record* at(std::size_t offset) const {
        if (offset > bytes_.size() || bytes_.size() - offset < sizeof(Record)) return nullptr;
        return reinterpret_cast<const Record*>(bytes_.data() + offset);
    }

    std::optional<DllImage> read() {
        const auto* dos = at<IMAGE_DOS_HEADER>(0);
        if (!dos || dos->e_magic != IMAGE_DOS_SIGNATURE) return std::nullopt;
        const std::size_t nt = static_cast<std::size_t>(dos->e_lfanew);
        const auto* signature = at<DWORD>(nt);
        const auto* header = at<IMAGE_FILE_HEADER>(nt + sizeof(DWORD));
        if (!signature || *signature != IMAGE_NT_SIGNATURE || !header) return std::nullopt;
        const std::size_t optional = nt + sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER);
        sections_ = optional + header->SizeOfOptionalHeader;
        sectionCount_ = header->NumberOfSections;
        DllImage image;
        image.machine = header->Machine;
        if (const IMAGE_DATA_DIRECTORY* exports = exportDirectory(optional)) {
            image.model = modelOfExports(exports->VirtualAddress);
        }
        return image;
    }

  private:
    const IMAGE_DATA_DIRECTORY* exportDirectory(std::size_t optional) const {
        const auto* magic = at<WORD>(optional);
        if (!magic) return nullptr;
        if (*magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
            const auto* header = at<IMAGE_OPTIONAL_HEADER32>(optional);
            return header ? &header->DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT] : nullptr;
        }
        const auto* header = at<IMAGE_OPTIONAL_HEADER64>(optional);
        return header ? &header->DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT] : nullptr;
    }

    std::optional<std::size_t> offsetOf(DWORD rva) const {
        for (std::size_t i = 0; i < sectionCount_; ++i) {
            const auto* section =
                at<IMAGE_SECTION_HEADER>(sections_ + i * sizeof(IMAGE_SECTION_HEADER));
            if (!section) return std::nullopt;
            const DWORD size = std::max<DWORD>(section->Misc.VirtualSize, section->SizeOfRawData);
            if (rva >= section->VirtualAddress && rva - section->VirtualAddress < size) {
                return section->PointerToRawData + (rva - section->VirtualAddress);
            }
        }
        return std::nullopt;
    }

    std::string nameAt(DWORD rva) const {
        const std::optional<std::size_t> offset = offsetOf(rva);
        if (!offset || *offset >= bytes_.size()) return {};
        const char* begin = bytes_.data() + *offset;
        return std::string(begin, strnlen(begin, bytes_.size() - *offset));
    }

    // The model whose Init the DLL exports.
    const BoardVariant* modelOfExports(DWORD directoryRva) const {
        const std::optional<std::size_t> directoryAt = offsetOf(directoryRva);
        const auto* directory = directoryAt ? at<IMAGE_EXPORT_DIRECTORY>(*directoryAt) : nullptr;
        const std::optional<std::size_t> namesAt =
            directory ? offsetOf(directory->AddressOfNames) : std::nullopt;
        if (!namesAt) return nullptr;
        for (DWORD i = 0; i < directory->NumberOfNames; ++i) {
            const auto* nameRva = at<DWORD>(*namesAt + i * sizeof(DWORD));
            if (!nameRva) return nullptr;
            const std::string name = nameAt(*nameRva);
            for (const BoardVariant* model : {&kHbv7, &kHbv5}) {
                if (name == std::string("Init") + model->name) return model;
            }
        }
        return nullptr;
    }

    std::vector<char> bytes_;
    std::size_t sections_ = 0;
    std::size_t sectionCount_ = 0;
};

// A board DLL found in the folder: its file, and the model it serves when it is usable here.
struct FolderDll {
    std::string path;
    const BoardVariant* usableFor = nullptr;
};

std::string versionOf(const std::string& path) {
    std::string error;
    const std::unique_ptr<BoardDll> dll = BoardDll::load(path, error);
    if (!dll) return error;
    const unsigned version = dll->exports().GetDllVersion();
    return formatText("%u.%02u", version >> 8, version & 0xFF);
}

Finding dllFinding(const std::string& fileName, FolderDll& dll) {
    const std::optional<DllImage> image = PeFile(widen(dll.path)).read();
    const char* const name = fileName.c_str();
    if (!image || !image->model) return {false, formatText(texts::kNotABoardDll, name)};
    const char* const model = image->model->name;
    if (fileName != std::string(model) + ".dll") {
        return {false, formatText(texts::kWrongModelName, name, model, name)};
    }
    const char* const architecture = architectureName(image->machine);
    if (image->machine != kOwnMachine) {
        return {false, formatText(texts::kWrongArchitecture, name, model, architecture,
                                  architectureName(kOwnMachine))};
    }
    dll.usableFor = image->model;
    return {true,
            formatText(texts::kBoardDll, name, model, architecture, versionOf(dll.path).c_str())};
}

struct AttachedBoard {
    const BoardVariant* model;
    std::uint16_t vendorId;
    std::uint16_t productId;
};

std::optional<std::vector<AttachedBoard>> attachedBoards() {
    Win32HidBackend backend;
    const std::unique_ptr<HidInterfaceList> list = backend.listPresentInterfaces();
    if (!list) return std::nullopt;
    std::vector<AttachedBoard> boards;
    HidInterface found;
    for (unsigned index = 0; list->openInterface(index, found); ++index) {
        const BoardVariant* model = boardModelOf(found.vendorId, found.productId);
        if (found.device && model) boards.push_back({model, found.vendorId, found.productId});
        found = HidInterface{};
    }
    return boards;
}

Finding versionFinding(const AttachedBoard& board, const FolderDll& dll, const char* dllName) {
    const VersionAnswer answer = queryBoardVersion(dll.path);
    const char* const model = board.model->name;
    if (!answer.taken) return {false, formatText(texts::kVersionNotTaken, model, dllName)};
    if (answer.bytes.empty()) {
        return {false, formatText(texts::kVersionNotAnswered, model, dllName, 1000u)};
    }
    return {true, formatText(texts::kVersionAnswered, model, dllName, answer.bytes.c_str())};
}

Findings boardFindings() {
    Findings findings;
    std::vector<FolderDll> dlls;
    for (const BoardVariant* model : {&kHbv7, &kHbv5}) {
        const std::string fileName = std::string(model->name) + ".dll";
        FolderDll dll{fileName};
        if (GetFileAttributesW(widen(dll.path).c_str()) == INVALID_FILE_ATTRIBUTES) continue;
        findings.push_back(dllFinding(fileName, dll));
        dlls.push_back(dll);
    }
    const std::optional<std::vector<AttachedBoard>> boards = attachedBoards();
    if (!boards) {
        findings.push_back({false, texts::kHidListFailed});
    } else if (boards->empty()) {
        findings.push_back(dlls.empty() ? Finding{true, texts::kNoBoardNoDll}
                                        : Finding{false, texts::kNoBoard});
    }
    for (const AttachedBoard& board : boards.value_or(std::vector<AttachedBoard>{})) {
        const std::string dllName = std::string(board.model->name) + ".dll";
        const FolderDll* usable = nullptr;
        for (const FolderDll& dll : dlls) {
            if (dll.usableFor == board.model) usable = &dll;
        }
        const char* const model = board.model->name;
        if (!usable) {
            findings.push_back(
                {false, formatText(texts::kBoardWithoutDll, model, board.vendorId, board.productId,
                                   dllName.c_str(), dllName.c_str())});
            continue;
        }
        findings.push_back({true, formatText(texts::kBoardWithDll, model, board.vendorId,
                                             board.productId, dllName.c_str())});
        findings.push_back(versionFinding(board, *usable, dllName.c_str()));
    }
    return findings;
}

std::string currentFolder() {
    const DWORD length = GetCurrentDirectoryW(0, nullptr);
    std::wstring folder(length, L'\0');
    folder.resize(GetCurrentDirectoryW(length, folder.data()));
    return narrow(folder);
}

}  // namespace

// The folder becomes the working folder, so that the markers, calibrators and DLLs are looked
// up by their bare names as trimdesk does, whatever characters the folder's path holds.
ExitStatus checkTrainer(const std::string& folder) {
    if (!folder.empty() && !SetCurrentDirectoryW(widen(folder).c_str())) {
        printErrorLine(texts::kNoSuchFolder + folder);
        return kUsageError;
    }
    printLine(formatText(texts::kCheckedFolder, currentFolder().c_str()));
    Findings findings = checkInterfaceMarkers("");
    for (Findings part : {checkDataDirectory(kDataDirectory), boardFindings()}) {
        findings.insert(findings.end(), part.begin(), part.end());
    }
    unsigned problems = 0;
    for (const Finding& finding : findings) {
        printLine(findingLine(finding));
        problems += finding.ok ? 0 : 1;
    }
    if (problems == 0) {
        printLine(texts::kCheckPassed);
        return kSucceeded;
    }
    printLine(formatText(texts::kCheckFailed, problems));
    return kFailed;
}
