#pragma once

#include <windows.h>

// The few calls of ntdll that the program needs beyond the Win32 API, looked
// up when first used: they are not part of the documented import libraries
// of every toolchain, and a missing one must cost one feature, not the start.
// Each pointer is null when ntdll lacks the call.
using NtStatus = LONG;

constexpr NtStatus kStatusSuccess = 0;
constexpr NtStatus kStatusInfoLengthMismatch = static_cast<NtStatus>(0xC0000004);
constexpr NtStatus kStatusBufferOverflow = static_cast<NtStatus>(0x80000005);
constexpr NtStatus kStatusBufferTooSmall = static_cast<NtStatus>(0xC0000023);

// Classes of NtQuerySystemInformation, NtQueryObject and NtQueryInformationProcess.
constexpr ULONG kSystemExtendedHandleInformation = 64;
constexpr ULONG kObjectNameInformation = 1;
constexpr ULONG kProcessBasicInformation = 0;
constexpr ULONG kProcessWow64Information = 26;
constexpr ULONG kProcessBreakOnTermination = 29;

using NtQuerySystemInformationCall = NtStatus(NTAPI*)(ULONG infoClass, void* info, ULONG size, ULONG* returned);
using NtQueryObjectCall = NtStatus(NTAPI*)(HANDLE object, ULONG infoClass, void* info, ULONG size, ULONG* returned);
using NtQueryInformationProcessCall = NtStatus(NTAPI*)(HANDLE process, ULONG infoClass, void* info, ULONG size,
                                                       ULONG* returned);

struct NativeCalls {
    NtQuerySystemInformationCall querySystemInformation = nullptr;
    NtQueryObjectCall queryObject = nullptr;
    NtQueryInformationProcessCall queryInformationProcess = nullptr;
};

const NativeCalls& Native();
