#include "lifecycle/LifecycleHost.h"

#include <stdlib.h>

#include <cstring>
#include <fstream>
#include <thread>

#include "platform/Library.h"

namespace lifecycle {
namespace {

using std::chrono::milliseconds;

constexpr CLSID driverClass = {0x5C2E8A17, 0x94D3, 0x4B6F, {0x8A, 0x21, 0x3E, 0x7D, 0x0F, 0x9B, 0x46, 0xC5}};

// The module stays loaded for the whole program, as hosts keep it while objects may live.
platform::SharedLibrary& module() {
    static auto* library = new platform::SharedLibrary;
    return *library;
}

CallbackLog theLog;
// The host whose buffers the callbacks fill; null while no driver should be called into.
std::atomic<HostDriver*> activeHost{nullptr};
std::atomic<std::size_t> hostHalfBytes{0};
std::array<std::atomic<void*>, 4> hostHalves{};   // channel * 2 + half

std::uint32_t bytesOf(ASIOSampleType type) {
    switch (type) {
        case ASIOSTInt16LSB: return 2;
        case ASIOSTInt24LSB: return 3;
        case ASIOSTInt32LSB:
        case ASIOSTFloat32LSB: return 4;
        case ASIOSTFloat64LSB: return 8;
        default: return 0;
    }
}

void onBufferSwitch(std::int32_t index, ASIOBool) {
    CallbackLog& log = theLog;
    const uint64_t seen = log.switches.load(std::memory_order_relaxed);
    const int64_t now = Clock::now().time_since_epoch().count();
    if (const int64_t last = log.lastSwitchTicks.exchange(now); last != 0 && now - last > log.longestGapTicks.load())
        log.longestGapTicks.store(now - last);
    if (log.firstSwitchTicks.load(std::memory_order_relaxed) == 0) {
        log.firstSwitchTicks.store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
        if (HostDriver* host = activeHost.load(std::memory_order_acquire)) log.firstPosition.store(host->samplePosition());
    }
    const int previous = log.lastIndex.exchange(index, std::memory_order_relaxed);
    if (index != (previous == 0 ? 1 : 0)) log.indexFaults.fetch_add(1, std::memory_order_relaxed);   // runs start at 0
    // Non-silent content in the half the driver asked for.
    for (int c = 0; c < 2 && (index == 0 || index == 1); ++c)
        if (void* half = hostHalves[static_cast<size_t>(c * 2 + index)].load(std::memory_order_relaxed))
            std::memset(half, static_cast<int>(0x11 * (c + 1) + seen % 7), hostHalfBytes.load());
    log.switches.fetch_add(1, std::memory_order_release);
}

void onRateChange(ASIOSampleRate) {}
std::int32_t onMessage(std::int32_t selector, std::int32_t value, void*, double*) {
    CallbackLog& log = theLog;
    if (selector == kAsioSelectorSupported) return value != kAsioResetRequest || log.takesReset.load();
    if (selector != kAsioResetRequest || !log.takesReset.load()) return 0;
    if (log.duringReset) log.duringReset();
    log.resetRequests.fetch_add(1);
    return 1;
}

void forgetBuffers() {
    for (auto& half : hostHalves) half.store(nullptr);
}

}  // namespace

void CallbackLog::reset() {
    firstSwitchTicks.store(0);
    firstPosition.store(~uint64_t{0});
    lastIndex.store(-1);
    lastSwitchTicks.store(0);
    longestGapTicks.store(0);
}

double CallbackLog::longestGapMs() const {
    return std::chrono::duration<double, std::milli>(Clock::duration(longestGapTicks.load())).count();
}

bool CallbackLog::waitForSwitches(uint64_t count, milliseconds limit) const {
    const auto deadline = Clock::now() + limit;
    while (switches.load(std::memory_order_acquire) < count) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(milliseconds(2));
    }
    return true;
}

CallbackLog& callbackLog() { return theLog; }

double millisecondsSince(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

HRESULT moduleCanUnloadNow() {
    auto canUnload = reinterpret_cast<HRESULT(VELMORA_STDCALL*)()>(module().symbol("DllCanUnloadNow"));
    return canUnload ? canUnload() : static_cast<HRESULT>(0x80004005u);
}

HostDriver::HostDriver() { create(); }

void HostDriver::create() {
    error_.clear();
    if (!module().isOpen() && !module().open(VELMORA_MODULE_PATH)) {
        error_ = module().error();
        return;
    }
    using GetClassObject = HRESULT(VELMORA_STDCALL*)(REFCLSID, REFIID, void**);
    auto getClassObject = reinterpret_cast<GetClassObject>(module().symbol("DllGetClassObject"));
    void* factory = nullptr;
    if (!getClassObject || getClassObject(driverClass, IID_IClassFactory, &factory) != 0 || !factory) {
        error_ = "DllGetClassObject refused the driver's class";
        return;
    }
    void* object = nullptr;
    const HRESULT result = static_cast<IClassFactory*>(factory)->CreateInstance(nullptr, driverClass, &object);
    static_cast<IClassFactory*>(factory)->Release();
    if (result != 0 || !object) error_ = "CreateInstance failed";
    else driver_ = static_cast<IASIO*>(object);
}

HostDriver::~HostDriver() {
    if (driver_) release();
}

bool HostDriver::prepare() {
    const auto fail = [this](std::string message) {
        error_ = std::move(message);
        return false;
    };
    if (driver_->init(nullptr) != 1) {
        char message[128] = {};
        driver_->getErrorMessage(message);
        return fail(std::string("init failed: ") + message);
    }
    std::int32_t inputs = 0, outputs = 0, minSize = 0, maxSize = 0, granularity = 0;
    driver_->getChannels(&inputs, &outputs);
    if (outputs < 2) return fail("the driver offers " + std::to_string(outputs) + " outputs");
    driver_->getBufferSize(&minSize, &maxSize, &frames_, &granularity);
    if (driver_->setSampleRate(44100.0) != ASE_OK) return fail("setSampleRate 44100 refused");
    ASIOChannelInfo info{};
    if (driver_->getChannelInfo(&info) != ASE_OK || bytesOf(info.type) == 0) return fail("getChannelInfo gave no PCM type");
    buffers_ = {ASIOBufferInfo{0, 0, {nullptr, nullptr}}, ASIOBufferInfo{0, 1, {nullptr, nullptr}}};
    callbacks_ = {&onBufferSwitch, &onRateChange, &onMessage, nullptr};
    if (const ASIOError e = driver_->createBuffers(buffers_.data(), 2, frames_, &callbacks_); e != ASE_OK)
        return fail("createBuffers failed: " + std::to_string(e));
    hostHalfBytes.store(static_cast<size_t>(frames_) * bytesOf(info.type));
    for (size_t c = 0; c < 2; ++c)
        for (size_t half = 0; half < 2; ++half) hostHalves[c * 2 + half].store(buffers_[c].buffers[half]);
    activeHost.store(this, std::memory_order_release);
    return true;
}

bool HostDriver::prepareRetrying(milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    for (;;) {
        if (!driver_) create();
        if (driver_ && prepare()) return true;
        if (driver_) release();
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(milliseconds(250));
    }
}

ASIOError HostDriver::disposeBuffers() {
    const ASIOError result = driver_->disposeBuffers();
    forgetBuffers();
    return result;
}

ULONG HostDriver::release() {
    // From here on the callbacks only count; they must not reach into a driver being destroyed.
    HostDriver* self = this;
    activeHost.compare_exchange_strong(self, nullptr);
    const ULONG left = driver_->Release();
    forgetBuffers();
    driver_ = nullptr;
    return left;
}

uint64_t HostDriver::samplePosition() {
    ASIOSamples position{};
    ASIOTimeStamp stamp{};
    driver_->getSamplePosition(&position, &stamp);
    return (uint64_t{position.hi} << 32) | position.lo;
}

SettingsFolder::SettingsFolder(const std::vector<std::string>& lines) {
    std::string folder = (std::filesystem::temp_directory_path() / "velmora-lifecycle-config.XXXXXX").string();
    if (!::mkdtemp(folder.data())) return;
    folder_ = folder;
    std::filesystem::create_directories(folder_ / "TOLVENIK Velmora");
    std::ofstream out(folder_ / "TOLVENIK Velmora" / "setting.inf", std::ios::binary);
    out << "Version=1_100_0\r\n";
    for (const auto& line : lines) out << line << "\r\n";
    ::setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
}

SettingsFolder::~SettingsFolder() {
    ::unsetenv("XDG_CONFIG_HOME");
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
}

}  // namespace lifecycle
