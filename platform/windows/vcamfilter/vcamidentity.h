#pragma once

#include <windows.h>

// Who the virtual camera is to DirectShow: its class and the name that
// programs list among their cameras.
namespace VcamIdentity {

// {66905ED6-5D8B-4EE6-B59B-0D70EBEF6AB1}
constexpr CLSID kClsid = {
    0x66905ed6, 0x5d8b, 0x4ee6, {0xb5, 0x9b, 0x0d, 0x70, 0xeb, 0xef, 0x6a, 0xb1}};
constexpr wchar_t kName[] = L"Vorn DShow VCamera";
constexpr wchar_t kPinName[] = L"Capture";

} // namespace VcamIdentity
