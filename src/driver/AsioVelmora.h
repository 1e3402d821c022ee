#pragma once
// AsioVelmora: the ASIO driver object a host creates through the class factory. It holds the
// settings, owns the streaming engine, the host's buffers and callbacks, and what init learned
// of the target. Every IASIO operation is exception-proof: nothing thrown inside reaches the host.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "com/Asio.h"
#include "com/Unknown.h"
#include "driver/DriverSettings.h"
#include "driver/ResetRequester.h"
#include "syncbuffer/SyncBuffer.h"

class LogSink;

// The class identifier; it is also the interface identifier under which the object answers IASIO.
extern const CLSID CLSID_AsioVelmora;

class AsioVelmora : public IASIO, public com::CUnknown {
public:
    // The engine: the stream buffer whose blocks are filled from the host's buffers.
    class Sync : public VELMORA::SyncBuffer {
    public:
        explicit Sync(AsioVelmora* owner) : driver(owner) {}
        void fillBlock(std::vector<uint8_t>& block, bool afterSend) override;
        // The stream ended by itself: the host is told and keeps getting its callbacks at
        // the nominal block rate (audio discarded) until stop, disposeBuffers or release.
        void streamEnded(VELMORA::StreamEnd why) override;
        // The host's callbacks at the nominal block rate until the ring is disconnected or closed.
        void keepTime();

        AsioVelmora* driver;
        std::string driverName;
    };

    static constexpr std::size_t maxBuffers = 8;

    // Constructed by the class factory; environment says where the settings files lie.
    AsioVelmora(IUnknown* outer, const SettingsEnvironment& environment);
    ~AsioVelmora() override;

    // The class table's create function.
    static com::CUnknown* create(IUnknown* outer, HRESULT* result);

    // Where objects made by the class factory find their settings files; the system's folders
    // unless a test points new objects at folders of its own.
    using EnvironmentSource = SettingsEnvironment (*)();
    static void setEnvironmentSource(EnvironmentSource source);

    // IUnknown: forwarded to the outer unknown.
    HRESULT VELMORA_STDCALL QueryInterface(REFIID riid, void** ppv) override;
    ULONG VELMORA_STDCALL AddRef() override;
    ULONG VELMORA_STDCALL Release() override;
    HRESULT VELMORA_STDCALL NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IASIO.
    ASIOBool VELMORA_STDCALL init(void* sysHandle) override;
    void VELMORA_STDCALL getDriverName(char* name) override;
    std::int32_t VELMORA_STDCALL getDriverVersion() override;
    void VELMORA_STDCALL getErrorMessage(char* string) override;
    ASIOError VELMORA_STDCALL start() override;
    ASIOError VELMORA_STDCALL stop() override;
    ASIOError VELMORA_STDCALL getChannels(std::int32_t* numInputChannels, std::int32_t* numOutputChannels) override;
    ASIOError VELMORA_STDCALL getLatencies(std::int32_t* inputLatency, std::int32_t* outputLatency) override;
    ASIOError VELMORA_STDCALL getBufferSize(std::int32_t* minSize, std::int32_t* maxSize, std::int32_t* preferredSize,
                                            std::int32_t* granularity) override;
    ASIOError VELMORA_STDCALL canSampleRate(ASIOSampleRate sampleRate) override;
    ASIOError VELMORA_STDCALL getSampleRate(ASIOSampleRate* sampleRate) override;
    ASIOError VELMORA_STDCALL setSampleRate(ASIOSampleRate sampleRate) override;
    ASIOError VELMORA_STDCALL getClockSources(ASIOClockSource* clocks, std::int32_t* numSources) override;
    ASIOError VELMORA_STDCALL setClockSource(std::int32_t reference) override;
    ASIOError VELMORA_STDCALL getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) override;
    ASIOError VELMORA_STDCALL getChannelInfo(ASIOChannelInfo* info) override;
    ASIOError VELMORA_STDCALL createBuffers(ASIOBufferInfo* bufferInfos, std::int32_t numChannels,
                                            std::int32_t bufferSize, ASIOCallbacks* callbacks) override;
    ASIOError VELMORA_STDCALL disposeBuffers() override;
    ASIOError VELMORA_STDCALL controlPanel() override;
    ASIOError VELMORA_STDCALL future(std::int32_t selector, void* opt) override;
    ASIOError VELMORA_STDCALL outputReady() override;

    // --- the object's data ---
    Sync sync{this};
    std::shared_ptr<LogSink> logSink;
    uint64_t productId = 0;
    uint64_t findId = 0;
    DriverSettings settings;
    void* hostWindow = nullptr;
    std::atomic<uint64_t> samplePosition{0};
    uint32_t sampleRate = 44100;
    std::atomic<ASIOCallbacks*> callbacks{nullptr};
    ASIOTime asioTime{};
    std::vector<std::unique_ptr<uint8_t[]>> buffers;   // one allocation per created output channel
    uint32_t bufferCount = 0;
    uint32_t bufferBytes = 1024;                       // bytes of one half
    uint32_t bufferIndex = 0;                          // the half the host fills next
    bool hostFilledLastPeriod = false;                 // the half copied next is one the host has just filled
    bool initialised = false;
    std::atomic<bool> running{false};
    bool timeInfoMode = false;
    bool timeCodeRead = false;
    bool dsdMode = false;
    std::string errorMessage;
    uint32_t channelCount = 0;
    uint64_t pcmFormat = 0;
    uint32_t sampleBytes = 0;
    uint32_t startTime = 0;
    std::thread delayedStart;
    // Why the last stream ended by itself (none while it plays, and after init or a new
    // stream); getErrorMessage says so, and init then finds the sink again.
    std::atomic<VELMORA::StreamEnd> lostCause{VELMORA::StreamEnd::none};
    ResetRequester resetRequester{callbacks};

private:
    ASIOBool initialise();
    ASIOError startStream();
    void stopStream();
    void sessionClosed();
    void releaseBuffers();
    bool chooseTransferProfile(VELMORA::StreamFormat hostFormat, uint32_t multiplier);
    void delayedStartThread();
    // One host buffer period: the host's callback, then the position and the half advance.
    // True when the host was called (running, with callbacks).
    bool hostSwitch();
    void setTimeInfoFlag(uint32_t flag);
    void logThreadSnapshot();
    bool timerRaised_ = false;
};
