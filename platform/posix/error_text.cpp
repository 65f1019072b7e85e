#include "platform/error_text.h"

#include "platform/registry.h"

namespace zelk::os {

std::string SystemErrorText(long code) {
    switch (code) {
        case kErrorFileNotFound: return "The system cannot find the file specified.";
        case kErrorPathNotFound: return "The system cannot find the path specified.";
        case kErrorAccessDenied: return "Access is denied.";
        case kErrorInvalidHandle: return "The handle is invalid.";
        case kErrorNotEnoughMemory: return "Not enough memory resources are available to process this command.";
        case kErrorOutOfMemory: return "Not enough memory resources are available to complete this operation.";
        case kErrorLockViolation:
            return "The process cannot access the file because another process has locked a portion of the file.";
        case kErrorInvalidParameter: return "The parameter is incorrect.";
        case kErrorDiskFull: return "There is not enough space on the disk.";
        case kErrorBadPathname: return "The specified path is invalid.";
        case kErrorMoreData: return "More data is available.";
        case kErrorNoMoreItems: return "No more data is available.";
        case kErrorOperationAborted:
            return "The I/O operation has been aborted because of either a thread exit or an application request.";
        case kErrorBadDb: return "The configuration registry database is corrupt.";
        case kErrorCantOpen: return "The configuration registry key could not be opened.";
        case kErrorRegistryIoFailed:
            return "An I/O operation initiated by the registry failed unrecoverably. The registry could not read in, "
                   "or write out, or flush, one of the files that contain the system's image of the registry.";
        case kErrorKeyDeleted:
            return "Illegal operation attempted on a registry key that has been marked for deletion.";
        default: return "error " + std::to_string(code);
    }
}

}  // namespace zelk::os
