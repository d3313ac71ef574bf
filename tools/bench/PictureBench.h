// The picture benchmarks, in this build of the product's code (32- or 64-bit, under Windows or
// Wine). Not tests: they print times.
#pragma once

#include <unknwn.h>

#include <string>
#include <vector>

// A 256-pixel thumbnail of one CALS file through WIC (the codec's decoder and the factory's
// scaler; the frame's own scaling) against the core's own thumbnail path, in the same run, with
// the process's peak working set after the WIC runs.
int WicThumbnailBench(const std::wstring& codecDll, const std::wstring& file);

// Per CALS file, the core's decoder: a bare decode into packed lines against a 256-pixel
// thumbnail, each its best of five, taking turns. (The native decode_bench holds the decoder
// against libtiff; `decode_bench --cals DIR` writes its drawings for this.)
int DecodeBench(const std::vector<std::wstring>& files);

// A drawing in Explorer's preview pane: the time to decode its stream once against the pane's
// costs, decoding it for the pane, rendering the fitted and a zoomed view from that (and, as each
// paint once did, from the stream), and the time the handler's window (from the codec's DLL,
// unregistered) keeps the UI thread on its first paint, while loading, and per zoom and pan step.
int PreviewBench(const std::wstring& codecDll, const std::wstring& file);

// The class object of `clsid` from the codec's DLL, loaded unregistered.
HRESULT CodecClassObject(const std::wstring& codecDll, REFCLSID clsid, IClassFactory** out);
