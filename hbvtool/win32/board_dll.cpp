#include "board_dll.h"

#include "texts.h"
#include "wide_text.h"

#include <vector>

namespace {

std::wstring programDirectory() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length < buffer.size()) {
            std::wstring path(buffer.data(), length);
            return path.substr(0, path.find_last_of(L"\\/") + 1);
        }
        buffer.resize(buffer.size() * 2);
    }
}

// A full path, so that LoadLibrary takes this very file rather than searching for its name.
std::wstring fullPathOf(const std::wstring& path) {
    const DWORD length = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (length == 0) return path;
    std::wstring full(length, L'\0');
    full.resize(GetFullPathNameW(path.c_str(), length, full.data(), nullptr));
    return full;
}

}  // namespace

std::unique_ptr<BoardDll> BoardDll::load(const std::string& path, std::string& error) {
    std::vector<std::wstring> candidates;
    if (path.empty()) {
        const std::wstring directory = programDirectory();
        candidates = {directory + L"HBV7.dll", directory + L"HBV5.dll"};
    } else {
        candidates = {fullPathOf(widen(path))};
    }
    for (const std::wstring& candidate : candidates) {
        const HMODULE module = LoadLibraryExW(candidate.c_str(), nullptr, 0);
        if (!module) continue;
        std::unique_ptr<BoardDll> dll(new BoardDll(module, candidate));
        if (dll->resolve(kHbv7) || dll->resolve(kHbv5)) return dll;
        error = texts::kNotBoardDll + narrow(candidate);
        return nullptr;
    }
    error = texts::kDllNotLoaded + narrow(candidates.front());
    if (candidates.size() > 1) error += " (HBV5.dll)";
    return nullptr;
}

bool BoardDll::resolve(const BoardVariant& model) {
    if (!resolveBoardExports(module_, model.name, exports_)) return false;
    model_ = &model;
    return true;
}

bool BoardDll::start(HWND window, UINT message) {
    started_ = exports_.Init(window, message) != nullptr;
    return started_;
}

void BoardDll::stop() {
    if (started_) exports_.Done();
    started_ = false;
}

BoardDll::~BoardDll() {
    stop();
    FreeLibrary(module_);
}
