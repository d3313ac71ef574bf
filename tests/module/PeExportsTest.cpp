// The DLL file itself: a 32-bit (or, in the 64-bit build, 64-bit) PE DLL with exactly four exports.
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct PeImage {
    std::vector<unsigned char> bytes;
    const IMAGE_NT_HEADERS* nt = nullptr;

    template <class T>
    const T* At(size_t offset) const {
        if (offset + sizeof(T) > bytes.size()) throw std::runtime_error("PE offset out of range");
        return reinterpret_cast<const T*>(bytes.data() + offset);
    }
    size_t RvaToOffset(DWORD rva) const {
        const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
        for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
            if (rva >= section->VirtualAddress && rva < section->VirtualAddress + section->Misc.VirtualSize)
                return rva - section->VirtualAddress + section->PointerToRawData;
        }
        throw std::runtime_error("RVA outside every section");
    }
};

// A built file of this build's bin folder, headers located.
PeImage LoadPe(const wchar_t* file) {
    PeImage pe;
    pe.bytes = testsupport::ReadBytes(testsupport::ProgramFolder() + L"\\" + file);
    const auto* dos = pe.At<IMAGE_DOS_HEADER>(0);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE) throw std::runtime_error("no DOS header");
    pe.nt = pe.At<IMAGE_NT_HEADERS>(dos->e_lfanew);
    if (pe.nt->Signature != IMAGE_NT_SIGNATURE) throw std::runtime_error("no PE header");
    return pe;
}

TEST(PeExportsTest, DllOfTheTargetMachineWithExactlyTheFourComExports) {
    PeImage pe = LoadPe(L"Scanleaf.dll");
#if defined(_WIN64)
    EXPECT_EQ(IMAGE_FILE_MACHINE_AMD64, pe.nt->FileHeader.Machine);
#else
    EXPECT_EQ(IMAGE_FILE_MACHINE_I386, pe.nt->FileHeader.Machine);
    EXPECT_EQ(IMAGE_NT_OPTIONAL_HDR32_MAGIC, pe.nt->OptionalHeader.Magic);
#endif
    EXPECT_TRUE(pe.nt->FileHeader.Characteristics & IMAGE_FILE_DLL);

    const IMAGE_DATA_DIRECTORY& dir = pe.nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    ASSERT_NE(0u, dir.VirtualAddress);
    const auto* exports = pe.At<IMAGE_EXPORT_DIRECTORY>(pe.RvaToOffset(dir.VirtualAddress));
    std::vector<std::string> names;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
        DWORD nameRva = *pe.At<DWORD>(pe.RvaToOffset(exports->AddressOfNames) + i * sizeof(DWORD));
        names.emplace_back(reinterpret_cast<const char*>(pe.bytes.data() + pe.RvaToOffset(nameRva)));
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ((std::vector<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                                        "DllUnregisterServer"}),
              names);
    EXPECT_EQ(4u, exports->NumberOfFunctions);

    // Only the system's own DLLs are imported: no MinGW runtime DLL.
    const IMAGE_DATA_DIRECTORY& imp = pe.nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (const auto* d = pe.At<IMAGE_IMPORT_DESCRIPTOR>(pe.RvaToOffset(imp.VirtualAddress)); d->Name; ++d) {
        std::string dll(reinterpret_cast<const char*>(pe.bytes.data() + pe.RvaToOffset(d->Name)));
        std::transform(dll.begin(), dll.end(), dll.begin(), ::tolower);
        EXPECT_EQ(std::string::npos, dll.find("libgcc")) << dll;
        EXPECT_EQ(std::string::npos, dll.find("libstdc++")) << dll;
        EXPECT_EQ(std::string::npos, dll.find("libwinpthread")) << dll;
        EXPECT_EQ(std::string::npos, dll.find("libssp")) << dll;
    }
}

// Held to a host vendor's binary rules: relocatable for address-space randomisation (64-bit:
// with high entropy), no-execute data, and the stack protector's check compiled in.
TEST(PeExportsTest, DllAndToolsAreHardened) {
    WORD expected = IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE | IMAGE_DLLCHARACTERISTICS_NX_COMPAT;
#if defined(_WIN64)
    expected |= IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA;
#endif
    for (const wchar_t* file : {L"Scanleaf.dll", L"scanleaf-card.exe", L"scanleaf-bench.exe"}) {
        SCOPED_TRACE(testing::Message() << file);
        PeImage pe = LoadPe(file);
        EXPECT_EQ(expected, pe.nt->OptionalHeader.DllCharacteristics & expected);
        EXPECT_NE(0u, pe.nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC].Size)
            << "randomisation needs relocations";
        const std::string guard = "__stack_chk_fail";
        EXPECT_NE(pe.bytes.end(), std::search(pe.bytes.begin(), pe.bytes.end(), guard.begin(), guard.end()));
    }
}

TEST(PeExportsTest, AnsiCodePageIsPinned) { EXPECT_EQ(1252u, GetACP()); }

} // namespace
