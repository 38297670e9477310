"""What a lab user does with the simulated mainframe through pyvisa: list the
resources, open the Q7340 module and the memory-access resource, read their
attributes, read and write registers and A24 memory at every width, map and
peek, lock and unlock, and close everything.

usage: pyvisa_lab_check.py <path of the simulator's libvisa.so>
Prints one line per check; exits 1 when a check fails.
"""
import ctypes
import sys

import pyvisa
from pyvisa import constants
from pyvisa.errors import VisaIOError

A16 = constants.AddressSpace.a16
A24 = constants.AddressSpace.a24
MODULE = 0xC000 + 64 * 128  # the module's register block in A16
MEMORY = 0x200000  # the module's A24 memory, 0x40000 bytes

rm = pyvisa.ResourceManager(sys.argv[1])
module = rm.open_resource("VXI0::128::INSTR")
mem = rm.open_resource("VXI0::MEMACC")
lib = rm.visalib


def status_of(action):
    """The VISA status an action raises, or 0 when it succeeds."""
    try:
        action()
    except VisaIOError as error:
        return error.error_code
    return 0


def write_then_read(resource, space, offset, width, value):
    resource.write_memory(space, offset, value, width)
    return resource.read_memory(space, offset, width)


def moved_back(space, offset, width, values):
    mem.move_out(space, offset, len(values), values, width)
    return list(mem.move_in(space, offset, len(values), width))


def memory_size(resource):
    """VI_ATTR_MEM_SIZE straight from the library: pyvisa 1.11 names a type
    it lacks for this attribute."""
    size = ctypes.c_uint64()
    lib.lib.viGetAttribute(resource.session, constants.VI_ATTR_MEM_SIZE, ctypes.byref(size))
    return size.value


def mapped(resource, space, size):
    """The window's host address as a number (pyvisa 1.11 gives a c_void_p)."""
    address, _ = lib.map_address(resource.session, space, 0, size)
    return getattr(address, "value", address)


def peek_mapped(resource, space, size, offset, width):
    address = mapped(resource, space, size)
    try:
        value, _ = lib.peek(resource.session, address + offset, width)
        return value
    finally:
        lib.unmap_address(resource.session)


def poke_then_peek_mapped(offset, width, value):
    address = mapped(module, A24, 0x40000)
    try:
        lib.poke(module.session, address + offset, width, value)
        read, _ = lib.peek(module.session, address + offset, width)
        return read
    finally:
        lib.unmap_address(module.session)


def lock_keeps_others_out():
    other = rm.open_resource("VXI0::MEMACC")
    try:
        mem.lock_excl(timeout=0)
        state = mem.lock_state
        refused = status_of(lambda: other.read_memory(A16, MODULE, 16))
        mem.unlock()
        return state, refused, other.read_memory(A16, MODULE, 16)
    finally:
        other.close()


BERR = constants.StatusCode.error_bus_error
NSUP_WIDTH = constants.StatusCode.error_nonsupported_width
LOCKED = constants.StatusCode.error_resource_locked

CHECKS = [
    # Resources and attributes.
    ("instruments", lambda: rm.list_resources(), ("VXI0::0::INSTR", "VXI0::128::INSTR")),
    ("every resource", lambda: "VXI0::MEMACC" in rm.list_resources("?*"), True),
    ("interface", lambda: (module.interface_type, module.interface_number),
     (constants.InterfaceType.vxi, 0)),
    ("classes", lambda: (module.resource_class, mem.resource_class), ("INSTR", "MEMACC")),
    ("names", lambda: (module.resource_name, mem.resource_name),
     ("VXI0::128::INSTR", "VXI0::MEMACC")),
    ("VISA maker named", lambda: len(mem.resource_manufacturer_name) > 0, True),
    ("VISA versions", lambda: (module.spec_version, module.implementation_version > 0),
     (0x00500400, True)),
    ("module", lambda: (module.manufacturer_id, module.model_code, module.model_name),
     (0xE7A, 0x734, "Q7340")),
    ("module maker named", lambda: len(module.manufacturer_name) > 0, True),
    ("logical address and slot", lambda: (module.get_visa_attribute(constants.VI_ATTR_VXI_LA),
                                          module.get_visa_attribute(constants.VI_ATTR_SLOT)),
     (128, 2)),
    ("A24 memory", lambda: (module.get_visa_attribute(constants.VI_ATTR_MEM_SPACE),
                            module.get_visa_attribute(constants.VI_ATTR_MEM_BASE),
                            memory_size(module)),
     (A24, MEMORY, 0x40000)),
    ("time-out", lambda: (setattr(mem, "timeout", 5000), mem.timeout)[1], 5000),
    # Registers: D08 and D16 everywhere, D32 only at the receive word.
    ("ID register", lambda: module.read_memory(A16, 0x00, 16), 0xCE7A),
    ("device type bytes", lambda: (module.read_memory(A16, 0x02, 8),
                                   module.read_memory(A16, 0x03, 8)), (0x07, 0x34)),
    ("status through MEMACC", lambda: mem.read_memory(A16, MODULE + 0x04, 16), 0x0001),
    ("control write", lambda: write_then_read(module, A16, 0x04, 16, 0), 0x0001),
    ("receive word D32", lambda: module.read_memory(A16, 0x3C, 32), 0),
    ("D32 of a D16 register", lambda: status_of(lambda: module.read_memory(A16, 0x04, 32)), BERR),
    ("D32 write to a D16 register",
     lambda: status_of(lambda: module.write_memory(A16, 0x04, 1, 32)), BERR),
    ("no D64 register", lambda: status_of(lambda: module.read_memory(A16, 0x00, 64)), NSUP_WIDTH),
    # A24 memory, big-endian byte lanes.
    ("memory D8", lambda: write_then_read(mem, A24, MEMORY + 1, 8, 0xA5), 0xA5),
    ("memory D16", lambda: write_then_read(mem, A24, MEMORY + 2, 16, 0xBEEF), 0xBEEF),
    ("memory D32", lambda: write_then_read(module, A24, 0x10, 32, 0x11223344), 0x11223344),
    ("memory lanes", lambda: (mem.read_memory(A24, MEMORY + 0x10, 16),
                              mem.read_memory(A24, MEMORY + 0x13, 8)), (0x1122, 0x44)),
    ("memory D64 refused",
     lambda: status_of(lambda: mem.read_memory(A24, MEMORY, 64)), NSUP_WIDTH),
    ("past the memory", lambda: status_of(lambda: mem.read_memory(A24, MEMORY + 0x40000, 8)),
     BERR),
    ("block D8", lambda: moved_back(A24, MEMORY + 0x100, 8, [1, 2, 3]), [1, 2, 3]),
    ("block D16", lambda: moved_back(A24, MEMORY + 0x200, 16, [0x1234, 0x5678]),
     [0x1234, 0x5678]),
    ("block D32", lambda: moved_back(A24, MEMORY + 0x300, 32, [0xCAFEF00D, 7]), [0xCAFEF00D, 7]),
    ("block D64 refused",
     lambda: status_of(lambda: mem.move_in(A24, MEMORY, 2, 64)), NSUP_WIDTH),
    # Windows.
    ("map A16 and peek", lambda: peek_mapped(mem, A16, 0x10000, MODULE + 0x02, 16), 0x0734),
    ("map A24 and peek", lambda: peek_mapped(module, A24, 0x40000, 0x10, 32), 0x11223344),
    ("poke and peek", lambda: poke_then_peek_mapped(0x20, 8, 0x5A), 0x5A),
    # Locks.
    ("exclusive lock", lock_keeps_others_out,
     (constants.AccessModes.exclusive_lock, LOCKED, 0xCE7A)),
]

failures = 0
for name, check, expected in CHECKS:
    try:
        got = check()
    except Exception as error:  # a check that raises fails like a wrong value
        got = "raised %r" % error
    if got == expected:
        print("ok      %s" % name)
    else:
        failures += 1
        print("FAILED  %s: got %r, expected %r" % (name, got, expected))

module.close()
mem.close()
rm.close()
print("%d passed, %d failed" % (len(CHECKS) - failures, failures))
sys.exit(1 if failures else 0)
