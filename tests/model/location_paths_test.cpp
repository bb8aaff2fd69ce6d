// Which pairs of locations may be analysed and synchronized together.
#include "model/location_paths.h"

#include <gtest/gtest.h>

namespace {

struct Pair {
    const wchar_t* first;
    const wchar_t* second;
    bool overlap;
};

TEST(LocationPaths, OverlapIsFoundAtABackslashWhateverTheCaseAndTheDots) {
    const Pair pairs[] = {
        {L"C:\\data\\", L"C:\\data\\", true},
        {L"C:\\data", L"c:\\DATA\\", true},
        {L"C:\\data\\", L"C:\\data\\sub\\", true},
        {L"C:\\data\\sub\\deeper\\", L"C:\\Data\\", true},
        {L"C:\\", L"C:\\data\\", true},
        {L"C:\\data\\sub\\..\\", L"C:\\data\\", true},
        {L"C:\\data\\.\\sub", L"C:\\data\\sub\\", true},
        {L"C:\\data\\", L"C:\\data2\\", false},
        {L"C:\\data-old\\", L"C:\\data\\", false},
        {L"C:\\data\\", L"D:\\data\\", false},
        {L"C:\\a\\b\\", L"C:\\a\\c\\", false},
    };
    for (const Pair& pair : pairs) {
        EXPECT_EQ(LocationsOverlap(pair.first, pair.second), pair.overlap) << pair.first << " " << pair.second;
        EXPECT_EQ(LocationsOverlap(pair.second, pair.first), pair.overlap) << pair.second << " " << pair.first;
    }
    EXPECT_TRUE(LocationsOverlap(nullptr, L"C:\\data\\"));
}

TEST(LocationPaths, RawDevicePathsAreRecognised) {
    EXPECT_TRUE(IsRawDevicePath(L"\\\\?\\C:\\data"));
    EXPECT_TRUE(IsRawDevicePath(L"\\\\.\\C:\\data"));
    EXPECT_FALSE(IsRawDevicePath(L"\\\\server\\share"));
    EXPECT_FALSE(IsRawDevicePath(L"C:\\data"));
    EXPECT_FALSE(IsRawDevicePath(L"\\\\?"));
}

}  // namespace
