#pragma once
// The published ASIO driver interface, declared with the Win64 widths: the interface's
// "long" is 32 bits there, so every such field is std::int32_t here on every platform.

#include <cstdint>

#include "com/ComTypes.h"

using ASIOBool = std::int32_t;
using ASIOError = std::int32_t;
using ASIOSampleRate = double;
using ASIOSampleType = std::int32_t;

struct ASIOSamples {
    std::uint32_t hi;
    std::uint32_t lo;
};
struct ASIOTimeStamp {
    std::uint32_t hi;
    std::uint32_t lo;
};

inline constexpr ASIOError ASE_OK = 0;
inline constexpr ASIOError ASE_SUCCESS = 0x3F4847A0;
inline constexpr ASIOError ASE_NotPresent = -1000;
inline constexpr ASIOError ASE_HWMalfunction = -999;
inline constexpr ASIOError ASE_InvalidParameter = -998;
inline constexpr ASIOError ASE_InvalidMode = -997;
inline constexpr ASIOError ASE_SPNotAdvancing = -996;
inline constexpr ASIOError ASE_NoClock = -995;
inline constexpr ASIOError ASE_NoMemory = -994;

enum : ASIOSampleType {
    ASIOSTInt16LSB = 16,
    ASIOSTInt24LSB = 17,
    ASIOSTInt32LSB = 18,
    ASIOSTFloat32LSB = 19,
    ASIOSTFloat64LSB = 20,
    ASIOSTDSDInt8LSB1 = 32,
    ASIOSTDSDInt8MSB1 = 33,
    ASIOSTDSDInt8NER8 = 40,
};

struct ASIOClockSource {
    std::int32_t index;
    std::int32_t associatedChannel;
    std::int32_t associatedGroup;
    ASIOBool isCurrentSource;
    char name[32];
};

struct ASIOChannelInfo {
    std::int32_t channel;
    ASIOBool isInput;
    ASIOBool isActive;
    std::int32_t channelGroup;
    ASIOSampleType type;
    char name[32];
};

struct ASIOBufferInfo {
    ASIOBool isInput;
    std::int32_t channelNum;
    void* buffers[2];
};

struct AsioTimeInfo {
    double speed;
    ASIOTimeStamp systemTime;
    ASIOSamples samplePosition;
    ASIOSampleRate sampleRate;
    std::uint32_t flags;
    char reserved[12];
};

enum : std::uint32_t {
    kSystemTimeValid = 1,
    kSamplePositionValid = 1 << 1,
    kSampleRateValid = 1 << 2,
    kSpeedValid = 1 << 3,
    kSampleRateChanged = 1 << 4,
    kClockSourceChanged = 1 << 5,
};

struct ASIOTimeCode {
    double speed;
    ASIOSamples timeCodeSamples;
    std::uint32_t flags;
    char future[64];
};

struct ASIOTime {
    std::int32_t reserved[4];
    AsioTimeInfo timeInfo;
    ASIOTimeCode timeCode;
};

struct ASIOCallbacks {
    void (*bufferSwitch)(std::int32_t doubleBufferIndex, ASIOBool directProcess);
    void (*sampleRateDidChange)(ASIOSampleRate sRate);
    std::int32_t (*asioMessage)(std::int32_t selector, std::int32_t value, void* message, double* opt);
    ASIOTime* (*bufferSwitchTimeInfo)(ASIOTime* params, std::int32_t doubleBufferIndex, ASIOBool directProcess);
};

// Host messages (asioMessage selectors) the driver may send.
enum : std::int32_t {
    kAsioSelectorSupported = 1,
    kAsioEngineVersion,
    kAsioResetRequest,
    kAsioBufferSizeChange,
    kAsioResyncRequest,
    kAsioLatenciesChanged,
    kAsioSupportsTimeInfo,
    kAsioSupportsTimeCode,
};

// future() selectors.
enum : std::int32_t {
    kAsioEnableTimeCodeRead = 1,
    kAsioDisableTimeCodeRead = 2,
    kAsioSetInputMonitor = 3,
    kAsioTransport = 4,
    kAsioSetInputGain = 5,
    kAsioGetInputMeter = 6,
    kAsioSetOutputGain = 7,
    kAsioGetOutputMeter = 8,
    kAsioCanInputMonitor = 9,
    kAsioCanTimeInfo = 10,
    kAsioCanTimeCode = 11,
    kAsioSetIoFormat = 0x23111961,
    kAsioGetIoFormat = 0x23111983,
    kAsioCanDoIoFormat = 0x23112004,
};

using ASIOIoFormatType = std::int32_t;
enum : ASIOIoFormatType { kASIOFormatInvalid = -1, kASIOPCMFormat = 0, kASIODSDFormat = 1 };

struct ASIOIoFormat {
    ASIOIoFormatType FormatType;
    char future[512 - sizeof(ASIOIoFormatType)];
};

// The driver interface in its published slot order, after IUnknown's three.
struct IASIO : IUnknown {
    virtual ASIOBool VELMORA_STDCALL init(void* sysHandle) = 0;
    virtual void VELMORA_STDCALL getDriverName(char* name) = 0;
    virtual std::int32_t VELMORA_STDCALL getDriverVersion() = 0;
    virtual void VELMORA_STDCALL getErrorMessage(char* string) = 0;
    virtual ASIOError VELMORA_STDCALL start() = 0;
    virtual ASIOError VELMORA_STDCALL stop() = 0;
    virtual ASIOError VELMORA_STDCALL getChannels(std::int32_t* numInputChannels, std::int32_t* numOutputChannels) = 0;
    virtual ASIOError VELMORA_STDCALL getLatencies(std::int32_t* inputLatency, std::int32_t* outputLatency) = 0;
    virtual ASIOError VELMORA_STDCALL getBufferSize(std::int32_t* minSize, std::int32_t* maxSize,
                                                    std::int32_t* preferredSize, std::int32_t* granularity) = 0;
    virtual ASIOError VELMORA_STDCALL canSampleRate(ASIOSampleRate sampleRate) = 0;
    virtual ASIOError VELMORA_STDCALL getSampleRate(ASIOSampleRate* sampleRate) = 0;
    virtual ASIOError VELMORA_STDCALL setSampleRate(ASIOSampleRate sampleRate) = 0;
    virtual ASIOError VELMORA_STDCALL getClockSources(ASIOClockSource* clocks, std::int32_t* numSources) = 0;
    virtual ASIOError VELMORA_STDCALL setClockSource(std::int32_t reference) = 0;
    virtual ASIOError VELMORA_STDCALL getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) = 0;
    virtual ASIOError VELMORA_STDCALL getChannelInfo(ASIOChannelInfo* info) = 0;
    virtual ASIOError VELMORA_STDCALL createBuffers(ASIOBufferInfo* bufferInfos, std::int32_t numChannels,
                                                    std::int32_t bufferSize, ASIOCallbacks* callbacks) = 0;
    virtual ASIOError VELMORA_STDCALL disposeBuffers() = 0;
    virtual ASIOError VELMORA_STDCALL controlPanel() = 0;
    virtual ASIOError VELMORA_STDCALL future(std::int32_t selector, void* opt) = 0;
    virtual ASIOError VELMORA_STDCALL outputReady() = 0;
};

// Record layouts as Win64 hosts lay them out.
static_assert(sizeof(ASIOClockSource) == 48);
static_assert(sizeof(ASIOChannelInfo) == 52);
static_assert(sizeof(ASIOBufferInfo) == 24);
static_assert(sizeof(AsioTimeInfo) == 48);
static_assert(sizeof(ASIOTimeCode) == 88);
static_assert(sizeof(ASIOTime) == 152);
static_assert(sizeof(ASIOIoFormat) == 512);
