#include "codec/CodecRegistration.h"

#include "codec/CodecIds.h"
#include "hostenv/ComError.h"

#include <wincodec.h>

#include "Version.h"

namespace scanleaf {

namespace {

const wchar_t* const kExtensions[] = {L"cal", L"ct1", L"ct2", L"ct3", L"nif", L"ct4",
                                      L"c4",  L"cg4", L"gp4", L"mil", L"rst"};
const wchar_t kDecoderCategory[] = L"{7ED96837-96F0-4812-B211-F13C24117ED3}";
// Explorer's thumbnail handler interface, and Windows' photo thumbnail provider that serves it
// through WIC.
const wchar_t kThumbnailHandler[] = L"{e357fccd-a995-4576-b01f-234630154e96}";
const wchar_t kPhotoThumbnailProvider[] = L"{C7657C4A-9F68-40fa-A4DF-96BC08EB3551}";
const wchar_t kName[] = L"Scanleaf CALS Decoder";

std::wstring Guid(const GUID& guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

std::vector<BYTE> Text(const std::wstring& text) {
    const BYTE* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
}

std::vector<BYTE> Dword(DWORD value) {
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&value);
    return std::vector<BYTE>(bytes, bytes + sizeof value);
}

std::wstring DecoderKey() { return L"CLSID\\" + Guid(CLSID_CalsWicDecoder); }
std::wstring HandlerKey() { return L"CLSID\\" + Guid(CLSID_CalsPropertyHandler); }

} // namespace

std::vector<CodecRow> CodecRows(const std::wstring& modulePath) {
    const std::wstring clsid = DecoderKey();
    std::wstring extensions;
    for (const wchar_t* e : kExtensions) extensions += (extensions.empty() ? L"." : L",.") + std::wstring(e);
    std::vector<CodecRow> rows = {
        {clsid, L"", REG_SZ, Text(kName)},
        {clsid, L"FriendlyName", REG_SZ, Text(kName)},
        {clsid, L"Author", REG_SZ, Text(L"Scanleaf")},
        {clsid, L"Description", REG_SZ, Text(L"CALS raster type 1 (CCITT Group 4) drawings")},
        {clsid, L"Version", REG_SZ, Text(SCANLEAF_VERSION_WTEXT)},
        {clsid, L"Vendor", REG_SZ, Text(Guid(GUID_VendorScanleaf))},
        {clsid, L"ContainerFormat", REG_SZ, Text(Guid(GUID_ContainerFormatCals))},
        {clsid, L"MimeTypes", REG_SZ, Text(L"image/x-cals")},
        {clsid, L"FileExtensions", REG_SZ, Text(extensions)},
        {clsid, L"SupportAnimation", REG_DWORD, Dword(0)},
        {clsid, L"SupportChromakey", REG_DWORD, Dword(0)},
        {clsid, L"SupportLossless", REG_DWORD, Dword(1)},
        {clsid, L"SupportMultiframe", REG_DWORD, Dword(0)},
        {clsid + L"\\InprocServer32", L"", REG_SZ, Text(modulePath)},
        {clsid + L"\\InprocServer32", L"ThreadingModel", REG_SZ, Text(L"Both")},
        // WIC reads the subkey's name; its default value only makes the key a row an installer can write.
        {clsid + L"\\Formats\\" + Guid(GUID_WICPixelFormatBlackWhite), L"", REG_SZ, Text(L"BlackWhite")},
        // A CALS header's first record, its letters in either case (the mask clears the case bit).
        {clsid + L"\\Patterns\\0", L"Position", REG_DWORD, Dword(0)},
        {clsid + L"\\Patterns\\0", L"Length", REG_DWORD, Dword(9)},
        {clsid + L"\\Patterns\\0", L"Pattern", REG_BINARY, {'S', 'R', 'C', 'D', 'O', 'C', 'I', 'D', ':'}},
        {clsid + L"\\Patterns\\0", L"Mask", REG_BINARY, {0xDF, 0xDF, 0xDF, 0xDF, 0xDF, 0xDF, 0xDF, 0xDF, 0xFF}},
        {clsid + L"\\Patterns\\0", L"EndOfStream", REG_DWORD, Dword(0)},
        {L"CLSID\\" + std::wstring(kDecoderCategory) + L"\\Instance\\" + Guid(CLSID_CalsWicDecoder), L"CLSID", REG_SZ,
         Text(Guid(CLSID_CalsWicDecoder))},
        {L"CLSID\\" + std::wstring(kDecoderCategory) + L"\\Instance\\" + Guid(CLSID_CalsWicDecoder), L"FriendlyName",
         REG_SZ, Text(kName)},
    };
    // The property handler: a class of its own, created in Explorer's and the indexer's processes.
    const std::wstring handler = HandlerKey();
    rows.push_back({handler, L"", REG_SZ, Text(L"Scanleaf CALS Property Handler")});
    rows.push_back({handler + L"\\InprocServer32", L"", REG_SZ, Text(modulePath)});
    rows.push_back({handler + L"\\InprocServer32", L"ThreadingModel", REG_SZ, Text(L"Both")});
    for (const wchar_t* e : kExtensions) {
        const std::wstring key = L"." + std::wstring(e);
        rows.push_back({key, L"PerceivedType", REG_SZ, Text(L"image")});
        rows.push_back({key + L"\\ShellEx\\" + kThumbnailHandler, L"", REG_SZ, Text(kPhotoThumbnailProvider)});
    }
    return rows;
}

std::vector<std::wstring> CodecOwnedKeys() {
    std::vector<std::wstring> keys = {DecoderKey(), HandlerKey(),
                                      L"CLSID\\" + std::wstring(kDecoderCategory) + L"\\Instance\\" + Guid(CLSID_CalsWicDecoder)};
    for (const wchar_t* e : kExtensions) keys.push_back(L"." + std::wstring(e) + L"\\ShellEx\\" + kThumbnailHandler);
    return keys;
}

HRESULT RegisterCodec(const std::wstring& modulePath) {
    for (const CodecRow& row : CodecRows(modulePath)) {
        HKEY key = nullptr;
        LONG error = RegCreateKeyExW(HKEY_CLASSES_ROOT, row.key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                                     nullptr);
        if (error == ERROR_SUCCESS)
            error = RegSetValueExW(key, row.name.empty() ? nullptr : row.name.c_str(), 0, row.type, row.data.data(),
                                   DWORD(row.data.size()));
        if (key) RegCloseKey(key);
        if (error != ERROR_SUCCESS) return HRESULT_FROM_WIN32(error);
    }
    return S_OK;
}

HRESULT UnregisterCodec() {
    for (const std::wstring& key : CodecOwnedKeys()) {
        const LONG error = RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
        if (error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND) RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
    }
    // The extensions' own keys: the values written here, then the keys that are left empty.
    for (const CodecRow& row : CodecRows(L"")) {
        if (row.key.empty() || row.key[0] != L'.' || row.name != L"PerceivedType") continue;
        RegDeleteKeyValueW(HKEY_CLASSES_ROOT, row.key.c_str(), L"PerceivedType");
        for (const std::wstring& key : {row.key + L"\\ShellEx", row.key}) {
            DWORD subkeys = 1, values = 1;
            HKEY open = nullptr;
            if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &open) != ERROR_SUCCESS) continue;
            RegQueryInfoKeyW(open, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                             nullptr, nullptr);
            RegCloseKey(open);
            if (subkeys == 0 && values == 0) RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
        }
    }
    return S_OK;
}

} // namespace scanleaf
