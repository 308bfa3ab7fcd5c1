// The ten exports of one board model, built once per model: the names end in the model word
// (InitHBV7 ... DoneHBV7, InitHBV5 ... DoneHBV5) and the model's values come from the variant
// table. The .def file of the model lists the names; the declarations are in hbv.h.
#define HBV_BUILDING_LIBRARY
#include "hbv.h"

#include "board_backend.h"
#include "build_variant.h"
#include "usb_channel.h"
#include "window_notifier.h"

#include <atomic>
#include <memory>
#include <exception>
#include <new>

#if defined(HIDLIB_VARIANT_HBV7)
#define HBV_EXPORT(verb) verb##HBV7
#else
#define HBV_EXPORT(verb) verb##HBV5
#endif

namespace {

// The object Init creates and Done destroys, with the platform parts it uses. Nothing here
// exists outside Init and Done, so loading and unloading the DLL run none of its code.
struct Library {
    std::unique_ptr<HidBackend> backend;
    WindowNotifier notifier;
    std::unique_ptr<CUsbChannel> channel;  // last: stopped and destroyed before the parts it uses
};

// Init stores it and Done empties it; the calls in between only read it. Atomic so that a
// call racing a misplaced Init sees either no object or a whole one.
std::atomic<Library*> library{nullptr};

CUsbChannel* channel() {
    Library* live = library.load(std::memory_order_acquire);
    return live ? live->channel.get() : nullptr;
}

// Null when any part cannot be made, a worker thread included.
Library* createLibrary(NotifyTarget target) {
    try {
        auto created = std::make_unique<Library>();
        created->backend = createBoardBackend(kBuildVariant);
        created->channel =
            CUsbChannel::create(*created->backend, kBuildVariant, created->notifier, target);
        return created->channel ? created.release() : nullptr;
    } catch (const std::exception&) {
        return nullptr;
    }
}

// Runs call on the live object, or gives failure when there is none. An exception must not
// cross into the host's C code, where it would end the host's process: out of memory, and
// anything else thrown, is the call's failure.
template <typename Result, typename Call>
Result withChannel(Result failure, Call call) noexcept {
    try {
        CUsbChannel* live = channel();
        return live ? static_cast<Result>(call(*live)) : failure;
    } catch (...) {
        return failure;
    }
}

}  // namespace

extern "C" {

void* __cdecl HBV_EXPORT(Init)(void* window, uint32_t message) {
    // A second Init keeps the first object: one reader, one window, nothing leaked.
    if (Library* live = library.load(std::memory_order_acquire)) return live;
    Library* created =
        createLibrary(NotifyTarget{reinterpret_cast<std::uintptr_t>(window), message});
    library.store(created, std::memory_order_release);
    return created;
}

uint8_t __cdecl HBV_EXPORT(Write)(const uint8_t* data) {
    return withChannel<uint8_t>(0, [&](CUsbChannel& live) { return live.Write(data); });
}

uint8_t __cdecl HBV_EXPORT(QueryVersion)(void) {
    return withChannel<uint8_t>(0, [](CUsbChannel& live) { return live.QueryVersion(); });
}

uint8_t __cdecl HBV_EXPORT(WriteEEPROM)(const uint8_t* data, uint8_t address, uint8_t count) {
    return withChannel<uint8_t>(
        0, [&](CUsbChannel& live) { return live.WriteEEPROM(data, address, count); });
}

uint8_t __cdecl HBV_EXPORT(ReadEEPROM)(uint8_t address, uint8_t count) {
    return withChannel<uint8_t>(0,
                                [&](CUsbChannel& live) { return live.ReadEEPROM(address, count); });
}

uint8_t __cdecl HBV_EXPORT(EnterBootloader)(void) {
    return withChannel<uint8_t>(0, [](CUsbChannel& live) { return live.EnterBootloader(); });
}

int32_t __cdecl HBV_EXPORT(GetPacket)(uint8_t* buffer) {
    return withChannel<int32_t>(0, [&](CUsbChannel& live) { return live.GetPacket(buffer); });
}

uint16_t __cdecl HBV_EXPORT(GetDllVersion)(void) { return kBuildVariant.dllVersion; }

uint8_t __cdecl HBV_EXPORT(GetDrvVersion)(uint16_t* version) {
    if (version == nullptr) return 0;
    *version = kBuildVariant.drvVersion;
    return 1;
}

// Stopping and joining the threads allocates nothing, so Done has no failure to catch.
void __cdecl HBV_EXPORT(Done)(void) { delete library.exchange(nullptr, std::memory_order_acq_rel); }

}  // extern "C"
