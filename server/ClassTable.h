#pragma once
#include <windows.h>

// {CC1F686D-E680-4392-8126-95060ED5222D}: the plug-in's class.
inline constexpr CLSID CLSID_VireoPlugin =
    {0xCC1F686D, 0xE680, 0x4392, {0x81, 0x26, 0x95, 0x06, 0x0E, 0xD5, 0x22, 0x2D}};
