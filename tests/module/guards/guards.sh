#!/bin/sh
# The guard rule on this tree holds, and on a planted class it fails and names each fault: a COM
# method that builds a string outside the guard, a listed one whose body now can allocate, and a
# listed name that is no method.
set -eu
root=$1
here=$(cd "$(dirname "$0")" && pwd)
python3 "$here/guards.py" "$root" "$here/unguarded.txt" || { echo "the tree's COM methods break the guard rule"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/codec"
cat >"$work/codec/Planted.h" <<'CODE'
struct IThing {
    virtual HRESULT STDMETHODCALLTYPE Name(BSTR* out) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSize(UINT* width) = 0;
    virtual HRESULT STDMETHODCALLTYPE Guarded() = 0;
};
class CPlanted final : public IThing {
public:
    HRESULT STDMETHODCALLTYPE Name(BSTR* out) override;
    HRESULT STDMETHODCALLTYPE GetSize(UINT* width) override;
    HRESULT STDMETHODCALLTYPE Guarded() override { return ComBoundary([] { return S_OK; }); }
};
CODE
cat >"$work/codec/Planted.cpp" <<'CODE'
HRESULT CPlanted::Name(BSTR* out) {
    const std::wstring text = L"planted";
    *out = SysAllocString(text.c_str());
    return S_OK;
}
HRESULT CPlanted::GetSize(UINT* width) {
    *width = UINT(std::to_wstring(7).size());
    return S_OK;
}
CODE
printf 'CPlanted::GetSize copies a size out\nCGone::Method* a family no longer here\n' >"$work/list.txt"
if out=$(python3 "$here/guards.py" "$work" "$work/list.txt"); then
    echo "the planted faults were let through: $out"
    exit 1
fi
for expected in "CPlanted::Name runs outside the guard" "CPlanted::GetSize is listed as unguarded but its body can allocate" \
    "CGone::Method* is listed but names no COM method here" "3 COM methods: 1 through the guard"; do
    case $out in *"$expected"*) ;; *) echo "missing: $expected in: $out"; exit 1 ;; esac
done
echo "1 passed, 0 failed"
