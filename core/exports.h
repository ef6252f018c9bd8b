// The five entry points of VeltrixCore, imported by name by the program.
#pragma once

#include "core/VeltrixApi.h"

#if defined(_WIN32)
#if defined(VX_BUILDING_CORE)
#define VX_EXPORT __declspec(dllexport)
#else
#define VX_EXPORT __declspec(dllimport)
#endif
#else
#define VX_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {
VX_EXPORT int32_t VX_STDCALL ProcessCmdLine(vx::CopyRec options, ShowErrorProc showError,
                                            SignalStateProc signalState, ShowFileProc showFile,
                                            AskUserProc askUser, ShowTotalProc showTotal);
VX_EXPORT bool VX_STDCALL FillCopyRec(vx::CopyRec* options, const char* arguments);
VX_EXPORT bool VX_STDCALL NeedHelp();
VX_EXPORT const char* VX_STDCALL GetCopyright();
VX_EXPORT const char* VX_STDCALL GetTitle();
}
