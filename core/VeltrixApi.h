// The engine's exported interface and its callback protocol, as seen by a host.
#pragma once

#include <cstdint>

#include "core/CopyRec.h"

#if defined(_WIN32)
#define VX_STDCALL __stdcall
#else
#define VX_STDCALL
#endif

namespace vx {

// Question codes passed to AskUser.
constexpr int32_t AskStartCopy = 100;
constexpr int32_t AskCreateFile = 101;
constexpr int32_t AskDeleteFailed = 102;

// Answer codes returned by AskUser.
constexpr int32_t AnswerYes = 201;
constexpr int32_t AnswerNo = 202;
constexpr int32_t AnswerAll = 203;
constexpr int32_t AnswerCancel = 204;
constexpr int32_t AnswerIgnore = 206;

// Events passed to SignalState.
constexpr int32_t StateSessionOpen = 0;
constexpr int32_t StateCopyBegins = 1;
constexpr int32_t StateCancelled = 2;

// Session results (the program's exit codes 0 to 3).
constexpr int32_t ResultOk = 0;
constexpr int32_t ResultCancelled = 1;
constexpr int32_t ResultCopyFailed = 2;
constexpr int32_t ResultDigestDiffers = 3;

}  // namespace vx

extern "C" {
typedef void(VX_STDCALL* ShowErrorProc)(const char* text);
typedef void(VX_STDCALL* SignalStateProc)(int32_t event);
typedef void(VX_STDCALL* ShowFileProc)(const char* text);
typedef int32_t(VX_STDCALL* AskUserProc)(int32_t question, const char* text);
typedef void(VX_STDCALL* ShowTotalProc)(int32_t count);
}
