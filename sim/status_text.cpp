// The texts the simulated VISA's viStatusDesc gives: pyvisa's where it has
// one, a plain description otherwise.
#include "sim/mainframe.h"
#include "sim/visa_extra.h"

namespace sim {

const char* statusText(ViStatus status) {
  switch (status) {
    case VI_SUCCESS: return "Operation completed successfully.";
    case VI_SUCCESS_EVENT_EN: return "Specified event is already enabled for at least one of the specified mechanisms.";
    case VI_SUCCESS_QUEUE_EMPTY: return "Operation completed successfully, but queue was already empty.";
    case VI_SUCCESS_EVENT_DIS: return "Specified event is already disabled for at least one of the specified mechanisms.";
    case VI_SUCCESS_NESTED_EXCLUSIVE: return "Operation completed successfully, and this session has nested exclusive locks.";
    case VI_WARN_UNKNOWN_STATUS: return "The status code passed to the operation could not be interpreted.";
    case VI_ERROR_SYSTEM_ERROR: return "Unknown system error (miscellaneous error).";
    case VI_ERROR_INV_OBJECT: return "The given session or object reference is invalid.";
    case VI_ERROR_RSRC_LOCKED: return "Specified type of lock cannot be obtained or specified operation cannot be performed, because the resource is locked.";
    case VI_ERROR_INV_EXPR: return "Invalid expression specified for search.";
    case VI_ERROR_RSRC_NFOUND: return "Insufficient location information or the requested device or resource is not present in the system.";
    case VI_ERROR_INV_RSRC_NAME: return "Invalid resource reference specified. Parsing error.";
    case VI_ERROR_INV_ACC_MODE: return "Invalid access mode.";
    case VI_ERROR_TMO: return "Timeout expired before operation completed.";
    case VI_ERROR_NSUP_ATTR: return "The specified attribute is not defined or supported by the referenced object.";
    case VI_ERROR_NSUP_ATTR_STATE: return "The specified state of the attribute is not valid, or is not supported as defined by the object.";
    case VI_ERROR_ATTR_READONLY: return "The specified attribute is read-only.";
    case VI_ERROR_INV_LOCK_TYPE: return "The specified type of lock is not supported by this resource.";
    case VI_ERROR_INV_EVENT: return "Specified event type is not supported by the resource.";
    case VI_ERROR_INV_MECH: return "Invalid mechanism specified.";
    case VI_ERROR_HNDLR_NINSTALLED: return "A handler was not installed.";
    case VI_ERROR_INV_HNDLR_REF: return "The given handler reference is either invalid or was not installed.";
    case VI_ERROR_NENABLED: return "You must be enabled for events of the specified type in order to receive them.";
    case VI_ERROR_BERR: return "Bus error occurred during transfer.";
    case VI_ERROR_ALLOC: return "Insufficient system resources to perform necessary memory allocation.";
    case VI_ERROR_IO: return "Could not perform operation because of I/O error.";
    case VI_ERROR_INV_SPACE: return "Invalid address space specified.";
    case VI_ERROR_INV_OFFSET: return "Invalid offset specified.";
    case VI_ERROR_INV_WIDTH: return "Invalid source or destination width specified.";
    case VI_ERROR_NSUP_VAR_WIDTH: return "Cannot support source and destination widths that are different.";
    case VI_ERROR_NSUP_WIDTH: return "Specified width is not supported by this hardware.";
    case VI_ERROR_WINDOW_NMAPPED: return "The specified session is not currently mapped.";
    case VI_ERROR_NSUP_OPER: return "The given session or object reference does not support this operation.";
    case VI_ERROR_NSUP_ALIGN_OFFSET: return "The specified offset is not properly aligned for the access width of the operation.";
    case VI_ERROR_USER_BUF: return "A specified user buffer is not valid or cannot be accessed for the required size.";
    case VI_ERROR_INV_PARAMETER: return "The value of some parameter (which parameter is not known) is invalid.";
    case VI_ERROR_INV_SIZE: return "Invalid size of window specified.";
    case VI_ERROR_WINDOW_MAPPED: return "The specified session currently contains a mapped window.";
    case VI_ERROR_NIMPL_OPER: return "The given operation is not implemented.";
    case VI_ERROR_INV_LENGTH: return "Invalid length specified.";
    case VI_ERROR_INV_MODE: return "The specified mode is invalid.";
    case VI_ERROR_SESN_NLOCKED: return "The current session did not have any lock on the resource.";
    case VI_ERROR_LIBRARY_NFOUND: return "A code library required by VISA could not be located or loaded.";
    default: return nullptr;
  }
}

}  // namespace sim
