// The Windows status codes the program, the stand-ins and the tests name, with
// the values Windows gives them, on both targets. (status_codes_win.cpp checks
// them against the Windows headers.)
#pragma once

#include <cstdint>
#include <string_view>

namespace velmora {

// HRESULTs: negative means failure.
constexpr std::int32_t hresultFromBits(std::uint32_t bits) { return static_cast<std::int32_t>(bits); }

// An HRESULT as the test machines' files write it: "0x" (or "0X") and exactly
// 8 hex digits. False for anything else, so that no longer text is cut to 32
// bits.
constexpr bool hresultFromText(std::string_view text, std::int32_t& out) {
    if (text.size() != 10 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return false;
    std::uint32_t bits = 0;
    for (const char c : text.substr(2)) {
        const int digit = c >= '0' && c <= '9' ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (digit < 0) return false;
        bits = (bits << 4) | static_cast<std::uint32_t>(digit);
    }
    out = hresultFromBits(bits);
    return true;
}

constexpr std::int32_t kHrOk = 0;                                               // S_OK
constexpr std::int32_t kHrPointer = hresultFromBits(0x80004003u);               // E_POINTER
constexpr std::int32_t kHrFail = hresultFromBits(0x80004005u);                  // E_FAIL
constexpr std::int32_t kHrUnexpected = hresultFromBits(0x8000FFFFu);            // E_UNEXPECTED
constexpr std::int32_t kHrClassNotRegistered = hresultFromBits(0x80040154u);    // REGDB_E_CLASSNOTREG
constexpr std::int32_t kHrOutOfMemory = hresultFromBits(0x8007000Eu);           // E_OUTOFMEMORY
constexpr std::int32_t kHrInvalidArg = hresultFromBits(0x80070057u);            // E_INVALIDARG
constexpr std::int32_t kHrWbemFailed = hresultFromBits(0x80041001u);            // WBEM_E_FAILED
constexpr std::int32_t kHrWbemNotFound = hresultFromBits(0x80041002u);          // WBEM_E_NOT_FOUND
constexpr std::int32_t kHrWbemInvalidNamespace = hresultFromBits(0x8004100Eu);  // WBEM_E_INVALID_NAMESPACE

// Win32 error codes, as GetLastError and the registry functions return them.
constexpr long kErrorSuccess = 0;       // ERROR_SUCCESS
constexpr long kErrorFileNotFound = 2;  // ERROR_FILE_NOT_FOUND
constexpr long kErrorAccessDenied = 5;  // ERROR_ACCESS_DENIED
constexpr long kErrorInvalidData = 13;  // ERROR_INVALID_DATA

}  // namespace velmora
