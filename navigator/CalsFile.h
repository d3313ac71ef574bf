// The navigator: one opened CALS file, its header records as tags.
#pragma once

#include "host/VorHost.h"
#include "comframe/ComObject.h"
#include "navigator/TagFinder.h"

#include <cstdio>

#include <string>

namespace scanleaf {

class CCalsFile : public ComObjectRoot<SingleThreadModel>, public ICalsFile, public IVorFileNavigator,
                  public ICalsVariableList {
public:
    CCalsFile() = default;
    virtual ~CCalsFile() = default;

    static const InterfaceEntry* InterfaceMap();

    // Opens the file once, right after creation; the navigator does not keep it open.
    HRESULT OpenFile(const std::wstring& path);
    // The same with the settings read from the given source instead of the process's.
    HRESULT OpenFile(const std::wstring& path, SettingsSource& settings);

    // IVorFileNavigator
    HRESULT STDMETHODCALLTYPE Method1(VorWord, VorWord, VorWord) override;
    HRESULT STDMETHODCALLTYPE Method2(VorWord, VorWord, VorWord) override;
    HRESULT STDMETHODCALLTYPE Method3(VorWord) override;
    HRESULT STDMETHODCALLTYPE Method4(VorWord, VorWord, VorWord, VorWord, VorWord) override;
    HRESULT STDMETHODCALLTYPE Method5(VorWord, VorWord, VorWord, VorWord) override;
    HRESULT STDMETHODCALLTYPE Method6(VorWord, VorWord, VorWord, VorWord) override;
    HRESULT STDMETHODCALLTYPE WriteVariable(VorWord reserved1, LONG stopAtFirst, VorWord reserved2, LONG count,
                                            VorVariable* variables, LONG dateStyle) override;
    HRESULT STDMETHODCALLTYPE ReadVariable(VorWord reserved1, LONG stopAtFirst, VorWord reserved2, LONG count,
                                           VorVariable* variables) override;
    HRESULT STDMETHODCALLTYPE Method9(VorWord, VorWord) override;
    HRESULT STDMETHODCALLTYPE Method10(VorWord, VorWord, VorWord) override;
    HRESULT STDMETHODCALLTYPE Method11(VorWord, VorWord, VorWord, VorWord, VorWord) override;
    HRESULT STDMETHODCALLTYPE Method12(VorWord, VorWord, VorWord, VorWord, VorWord, VorWord) override;
    HRESULT STDMETHODCALLTYPE SaveFile() override;
    HRESULT STDMETHODCALLTYPE Method14(VorWord) override;
    HRESULT STDMETHODCALLTYPE Method15(VorWord, VorWord, VorWord, VorWord, VorWord) override;
    HRESULT STDMETHODCALLTYPE Method16(VorWord) override;
    HRESULT STDMETHODCALLTYPE Method17(VorWord, VorWord) override;
    HRESULT STDMETHODCALLTYPE Method18(VorWord, VorWord, VorWord, VorWord) override;
    HRESULT STDMETHODCALLTYPE Method19(VorWord) override;
    HRESULT STDMETHODCALLTYPE Method20(VorWord, VorWord, VorWord, VorWord, VorWord) override;

    // ICalsVariableList
    HRESULT STDMETHODCALLTYPE GetVariables(ULONG* count, CalsVariableInfo** variables) override;

    // Opening, from the header bytes read (length of them): the byte at offset 895; the records into tags.
    bool ReadFillByte(const unsigned char* header, std::size_t length);
    HRESULT ReadHeader(const unsigned char* header, std::size_t length);

    // Variables: the value as text (dates in the host's style); text into a VT_BSTR.
    static std::wstring VariantToText(const VARIANT& value, int dateStyle);
    static bool TextToVariant(VARIANT* target, const wchar_t* text);

    const TagFinder& Tags() const noexcept { return tagFinder_; }
    bool Modified() const noexcept { return modified_; }

private:
    std::wstring path_;
    bool modified_ = false;
    unsigned char fillByte_ = 0;
    TagFinder tagFinder_;
};

} // namespace scanleaf
