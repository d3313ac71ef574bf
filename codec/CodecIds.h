// The codec's own identifiers: the decoder class, the property handler class, the CALS container
// format, the vendor.
#pragma once

#include <guiddef.h>

namespace scanleaf {

// {85A57CD6-22E9-4CD0-82FF-1A0B30A00D2F}
inline constexpr GUID CLSID_CalsWicDecoder = {0x85a57cd6, 0x22e9, 0x4cd0, {0x82, 0xff, 0x1a, 0x0b, 0x30, 0xa0, 0x0d, 0x2f}};
// {8E86F979-BAFD-4BF8-8720-456FD2964EF7}
inline constexpr GUID CLSID_CalsPropertyHandler = {0x8e86f979, 0xbafd, 0x4bf8, {0x87, 0x20, 0x45, 0x6f, 0xd2, 0x96, 0x4e, 0xf7}};
// {9F44C1F8-A664-4B9F-ADF9-3B93BDBF7FD1}
inline constexpr GUID GUID_ContainerFormatCals = {0x9f44c1f8, 0xa664, 0x4b9f, {0xad, 0xf9, 0x3b, 0x93, 0xbd, 0xbf, 0x7f, 0xd1}};
// {41619935-C2A0-426A-983D-7355F7360ED5}
inline constexpr GUID GUID_VendorScanleaf = {0x41619935, 0xc2a0, 0x426a, {0x98, 0x3d, 0x73, 0x55, 0xf7, 0x36, 0x0e, 0xd5}};

} // namespace scanleaf
