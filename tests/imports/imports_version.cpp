// A program that imports version.dll statically, as the programs used to:
// the import check must refuse it.
#include <windows.h>

int main() { return static_cast<int>(GetFileVersionInfoSizeW(L"C:\\none.exe", nullptr) != 0); }
