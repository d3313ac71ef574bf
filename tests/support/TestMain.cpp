// Every test program runs its cases on a single-threaded apartment, like the host's UI thread.
#include <gtest/gtest.h>

#include <objbase.h>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(hr)) return 2;
    int result = RUN_ALL_TESTS();
    CoUninitialize();
    return result;
}
