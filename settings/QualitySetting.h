#pragma once
#include <windows.h>

// The decoder's playback quality: the one setting the plug-in shows and writes, per user under
// HKEY_CURRENT_USER. The decoder reads it when it opens its next stream.
inline constexpr char QualityKeyPath[] = "Software\\Tessaline\\Vireo Decoder";
inline constexpr char QualityValueName[] = "REALTIME";
inline constexpr DWORD RealTime = 1;
inline constexpr DWORD EveryFrame = 0;
// What an absent or unreadable value means; any non-zero value also means RealTime.
inline constexpr DWORD DefaultQuality = RealTime;
