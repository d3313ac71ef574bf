#include "codec/CodecRegistration.h"

#include "codec/api/CodecIds.h"
#include "hostenv/ComError.h"
#include "hostenv/HostNames.h"
#include "hostenv/Unique.h"

#include <wincodec.h>

#include "Version.h"

namespace scanleaf {

namespace {

const wchar_t kDecoderCategory[] = L"{7ED96837-96F0-4812-B211-F13C24117ED3}";
// Explorer's thumbnail handler interface, and Windows' photo thumbnail provider that serves it
// through WIC.
const wchar_t kThumbnailHandler[] = L"{e357fccd-a995-4576-b01f-234630154e96}";
const wchar_t kPhotoThumbnailProvider[] = L"{C7657C4A-9F68-40fa-A4DF-96BC08EB3551}";
const wchar_t kName[] = L"Scanleaf CALS Decoder";
// What Explorer lists of a drawing: in its Details, in its preview pane, and in its tooltip.
const wchar_t kFullDetails[] =
    L"prop:System.PropGroup.Description;System.Title;System.Document.DocumentID;Scanleaf.Cals.DestinationDocumentId;"
    L"Scanleaf.Cals.TextFileId;Scanleaf.Cals.SourceGraphics;Scanleaf.Cals.DocumentClass;System.Comment;"
    L"System.PropGroup.Image;System.Image.Dimensions;System.Image.HorizontalSize;System.Image.VerticalSize;"
    L"System.Image.HorizontalResolution;System.Image.VerticalResolution;System.Image.BitDepth;System.Image.Compression;"
    L"Scanleaf.Cals.Orientation;System.PropGroup.FileSystem;System.ItemNameDisplay;System.ItemType;System.ItemFolderPathDisplay;"
    L"System.Size;System.DateCreated;System.DateModified";
const wchar_t kPreviewDetails[] =
    L"prop:System.Title;System.Document.DocumentID;System.Comment;System.Image.Dimensions;System.Size;System.DateModified";
const wchar_t kInfoTip[] = L"prop:System.ItemType;System.Title;System.Document.DocumentID;System.Image.Dimensions;System.Size";

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

// A key below HKEY_CLASSES_ROOT goes when nothing is left in it.
void DeleteIfEmpty(const std::wstring& key) {
    DWORD subkeys = 1, values = 1;
    {
        KeyHandle open;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, open.Put()) != ERROR_SUCCESS) return;
        RegQueryInfoKeyW(open.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr);
    }
    if (subkeys == 0 && values == 0) RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
}

std::wstring DecoderKey() { return L"CLSID\\" + Guid(CLSID_CalsWicDecoder); }
std::wstring HandlerKey() { return L"CLSID\\" + Guid(CLSID_CalsPropertyHandler); }
std::wstring PreviewKey() { return L"CLSID\\" + Guid(CLSID_CalsPreviewHandler); }
const wchar_t kPreviewName[] = L"Scanleaf CALS Preview Handler";

} // namespace

const wchar_t* PreviewHostAppId() {
#ifdef _WIN64
    return L"{6d2b5079-2f0b-48dd-ab7f-97cec514d30b}";
#else
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    return wow64 ? L"{534A1E02-D58F-44f0-B58B-36CBED287C7C}" : L"{6d2b5079-2f0b-48dd-ab7f-97cec514d30b}";
#endif
}

std::vector<CodecRow> CodecRows(const std::wstring& modulePath) {
    const std::wstring clsid = DecoderKey();
    std::wstring extensions;
    for (const std::wstring& e : CalsExtensionNames()) extensions += (extensions.empty() ? L"." : L",.") + e;
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
    // The preview handler: run by the preview host, an apartment object with a window.
    const std::wstring preview = PreviewKey();
    rows.push_back({preview, L"", REG_SZ, Text(kPreviewName)});
    rows.push_back({preview, L"DisplayName", REG_SZ, Text(kPreviewName)});
    rows.push_back({preview, L"AppID", REG_SZ, Text(PreviewHostAppId())});
    rows.push_back({preview + L"\\InprocServer32", L"", REG_SZ, Text(modulePath)});
    rows.push_back({preview + L"\\InprocServer32", L"ThreadingModel", REG_SZ, Text(L"Apartment")});
    rows.push_back({kPreviewHandlersKey, Guid(CLSID_CalsPreviewHandler), REG_SZ, Text(kPreviewName), HKEY_LOCAL_MACHINE});
    for (const std::wstring& e : CalsExtensionNames()) {
        const std::wstring key = L"." + e;
        rows.push_back({key, L"PerceivedType", REG_SZ, Text(L"image")});
        rows.push_back({key + L"\\ShellEx\\" + kThumbnailHandler, L"", REG_SZ, Text(kPhotoThumbnailProvider)});
        rows.push_back({key + L"\\ShellEx\\" + kPreviewHandlerShellEx, L"", REG_SZ, Text(Guid(CLSID_CalsPreviewHandler))});
        rows.push_back({std::wstring(kPropertyHandlersKey) + L"\\" + key, L"", REG_SZ, Text(Guid(CLSID_CalsPropertyHandler)),
                        HKEY_LOCAL_MACHINE});
        const std::wstring associations = L"SystemFileAssociations\\" + key;
        rows.push_back({associations, L"FullDetails", REG_SZ, Text(kFullDetails)});
        rows.push_back({associations, L"PreviewDetails", REG_SZ, Text(kPreviewDetails)});
        rows.push_back({associations, L"InfoTip", REG_SZ, Text(kInfoTip)});
    }
    return rows;
}

std::vector<CodecKey> CodecOwnedKeys() {
    const HKEY classes = HKEY_CLASSES_ROOT;
    std::vector<CodecKey> keys = {{classes, DecoderKey()}, {classes, HandlerKey()}, {classes, PreviewKey()},
                                  {classes, L"CLSID\\" + std::wstring(kDecoderCategory) + L"\\Instance\\" +
                                                Guid(CLSID_CalsWicDecoder)}};
    for (const std::wstring& e : CalsExtensionNames()) {
        keys.push_back({classes, L"." + e + L"\\ShellEx\\" + kThumbnailHandler});
        keys.push_back({classes, L"." + e + L"\\ShellEx\\" + kPreviewHandlerShellEx});
        keys.push_back({HKEY_LOCAL_MACHINE, std::wstring(kPropertyHandlersKey) + L"\\." + e});
    }
    return keys;
}

HRESULT RegisterCodec(const std::wstring& modulePath) {
    for (const CodecRow& row : CodecRows(modulePath)) {
        KeyHandle key;
        LONG error = RegCreateKeyExW(row.root, row.key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Put(), nullptr);
        if (error == ERROR_SUCCESS)
            error = RegSetValueExW(key.Get(), row.name.empty() ? nullptr : row.name.c_str(), 0, row.type, row.data.data(),
                                   DWORD(row.data.size()));
        if (error != ERROR_SUCCESS) return HRESULT_FROM_WIN32(error);
    }
    return S_OK;
}

HRESULT UnregisterCodec() {
    // The handlers' list is everyone's: only the value written here goes.
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kPreviewHandlersKey, Guid(CLSID_CalsPreviewHandler).c_str());
    for (const CodecKey& owned : CodecOwnedKeys()) {
        const LONG error = RegDeleteTreeW(owned.root, owned.key.c_str());
        if (error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND) RegDeleteKeyW(owned.root, owned.key.c_str());
    }
    // The extensions' own keys: the values written here, then the keys that are left empty.
    for (const CodecRow& row : CodecRows(L"")) {
        const bool listed = row.key.compare(0, 23, L"SystemFileAssociations\\") == 0;
        if (listed) {
            RegDeleteKeyValueW(HKEY_CLASSES_ROOT, row.key.c_str(), row.name.c_str());
            DeleteIfEmpty(row.key);
            continue;
        }
        if (row.key.empty() || row.key[0] != L'.' || row.name != L"PerceivedType") continue;
        RegDeleteKeyValueW(HKEY_CLASSES_ROOT, row.key.c_str(), L"PerceivedType");
        for (const std::wstring& key : {row.key + L"\\ShellEx", row.key}) DeleteIfEmpty(key);
    }
    return S_OK;
}

} // namespace scanleaf
