#include "navigator/SaveIo.h"

namespace scanleaf {

const SaveIo& SystemSaveIo() {
    static const SaveIo io = {&CreateFileW, &GetFileInformationByHandleEx, &ReadFile,
                              &SetFilePointerEx, &WriteFile, &CloseHandle};
    return io;
}

SaveIo& SaveFileIo() {
    static SaveIo io = SystemSaveIo();
    return io;
}

} // namespace scanleaf
