#!/usr/bin/env python3
"""Stamp page numbers onto a PDF by driving the Tavrix engine through the automation runtime.

Only the standard library is used: ctypes loads libtavrixrt.so, which finds the engine by its
ProgID in the registry file and loads libtavrix.so on demand. Each --NAME is bound with
IDispatch::GetIDsOfNames and set with IDispatch::Invoke; getTavrixFile is then called through its
slot of the ITavrixCom vtable.

    python3 examples/stamp_pdf.py [--runtime LIB] [--NAME VALUE]... INPUT OUTPUT

Register the engine once before (build/tavrix --register). TAVRIX_REGISTRY names the registry
file, as for every client of the runtime. Values that read as integers (decimal or 0x hex) are
passed as numbers, everything else as text; the engine converts between the two where a property
needs it.
"""

import ctypes
import os
import sys
from ctypes import POINTER, byref, c_int32, c_uint16, c_uint32, c_void_p

HRESULT = c_int32
S_OK = 0
COINIT_APARTMENTTHREADED = 0x2
CLSCTX_INPROC_SERVER = 0x1
DISPATCH_METHOD = 0x1
DISPATCH_PROPERTYPUT = 0x4
DISPID_PROPERTYPUT = -3
VT_I4 = 3
VT_BSTR = 8

# Slots of the interfaces used here (IUnknown 0-2, IDispatch 3-6, then ITavrixCom's members;
# IErrorInfo's GetDescription is its slot 5).
SLOT_QUERY_INTERFACE = 0
SLOT_RELEASE = 2
SLOT_GET_DESCRIPTION = 5
SLOT_GET_IDS_OF_NAMES = 5
SLOT_INVOKE = 6
SLOT_GET_TAVRIX_FILE = 7


class GUID(ctypes.Structure):
    _fields_ = [("Data1", c_uint32), ("Data2", c_uint16), ("Data3", c_uint16),
                ("Data4", ctypes.c_uint8 * 8)]


class _VariantValue(ctypes.Union):
    _fields_ = [("lVal", c_int32), ("bstrVal", c_void_p), ("pad", c_void_p * 2)]


class VARIANT(ctypes.Structure):
    _anonymous_ = ("value",)
    _fields_ = [("vt", c_uint16), ("reserved", c_uint16 * 3), ("value", _VariantValue)]


class DISPPARAMS(ctypes.Structure):
    _fields_ = [("rgvarg", POINTER(VARIANT)), ("rgdispidNamedArgs", POINTER(c_int32)),
                ("cArgs", c_uint32), ("cNamedArgs", c_uint32)]


IID_NULL = GUID()
IID_IDispatch = GUID(0x00020400, 0, 0, (ctypes.c_uint8 * 8)(0xC0, 0, 0, 0, 0, 0, 0, 0x46))
IID_ISupportErrorInfo = GUID(0xDF0B3D60, 0x548F, 0x101B,
                             (ctypes.c_uint8 * 8)(0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19))


class AutomationError(Exception):
    pass


class Runtime:
    """The runtime's C functions, with the conversions between Python text and BSTRs."""

    def __init__(self, path):
        lib = ctypes.CDLL(path)
        self.lib = lib
        lib.SysAllocStringLen.restype = c_void_p
        lib.SysAllocStringLen.argtypes = [c_void_p, c_uint32]
        lib.SysStringLen.restype = c_uint32
        lib.SysStringLen.argtypes = [c_void_p]
        lib.SysFreeString.restype = None
        lib.SysFreeString.argtypes = [c_void_p]
        lib.CoInitializeEx.restype = HRESULT
        lib.CoInitializeEx.argtypes = [c_void_p, c_uint32]
        lib.CoUninitialize.restype = None
        lib.CLSIDFromProgID.restype = HRESULT
        lib.CLSIDFromProgID.argtypes = [c_void_p, POINTER(GUID)]
        lib.CoCreateInstance.restype = HRESULT
        lib.CoCreateInstance.argtypes = [POINTER(GUID), c_void_p, c_uint32, POINTER(GUID),
                                         POINTER(c_void_p)]
        lib.FormatErrorMessage.restype = c_void_p
        lib.FormatErrorMessage.argtypes = [HRESULT]
        lib.GetErrorInfo.restype = HRESULT
        lib.GetErrorInfo.argtypes = [c_uint32, POINTER(c_void_p)]

    def bstr(self, text):
        data = text.encode("utf-16-le", "surrogatepass")
        result = self.lib.SysAllocStringLen(data, len(data) // 2)
        if not result:
            raise MemoryError("SysAllocStringLen")
        return result

    def text(self, bstr):
        if not bstr:
            return ""
        length = self.lib.SysStringLen(bstr)
        return ctypes.string_at(bstr, length * 2).decode("utf-16-le", "replace")

    def check(self, hr, what):
        if hr < 0:
            message = self.lib.FormatErrorMessage(hr)
            try:
                raise AutomationError("%s: %s (0x%08X)" % (what, self.text(message),
                                                           hr & 0xFFFFFFFF))
            finally:
                self.lib.SysFreeString(message)


def slot(obj, index, *argtypes):
    """The function in slot `index` of the vtable of interface pointer `obj`."""
    vtable = ctypes.cast(obj, POINTER(POINTER(c_void_p)))[0]
    return ctypes.CFUNCTYPE(HRESULT, c_void_p, *argtypes)(vtable[index])


class Engine:
    """One TavrixCom instance, created by ProgID and driven through IDispatch and its slots."""

    def __init__(self, runtime):
        self.rt = runtime
        clsid = GUID()
        progid = ctypes.create_string_buffer("Tavrix.TavrixCom\0".encode("utf-16-le"))
        runtime.check(runtime.lib.CLSIDFromProgID(progid, byref(clsid)), "Tavrix.TavrixCom")
        self.obj = c_void_p()
        runtime.check(runtime.lib.CoCreateInstance(byref(clsid), None, CLSCTX_INPROC_SERVER,
                                                   byref(IID_IDispatch), byref(self.obj)),
                      "creating the engine")

    def release(self):
        if self.obj:
            slot(self.obj, SLOT_RELEASE)(self.obj)
            self.obj = c_void_p()

    def dispid(self, name):
        text = ctypes.create_string_buffer((name + "\0").encode("utf-16-le"))
        names = (c_void_p * 1)(ctypes.cast(text, c_void_p))
        dispid = c_int32()
        get_ids = slot(self.obj, SLOT_GET_IDS_OF_NAMES, POINTER(GUID), POINTER(c_void_p),
                       c_uint32, c_uint32, POINTER(c_int32))
        self.rt.check(get_ids(self.obj, byref(IID_NULL), names, 1, 0, byref(dispid)), name)
        return dispid.value

    def put(self, name, value):
        """Sets a property by name: an int goes as VT_I4, anything else as VT_BSTR."""
        arg = VARIANT()
        if isinstance(value, int):
            arg.vt, arg.lVal = VT_I4, value
        else:
            arg.vt, arg.bstrVal = VT_BSTR, self.rt.bstr(value)
        named = c_int32(DISPID_PROPERTYPUT)
        params = DISPPARAMS(ctypes.pointer(arg), ctypes.pointer(named), 1, 1)
        invoke = slot(self.obj, SLOT_INVOKE, c_int32, POINTER(GUID), c_uint32, c_uint16,
                      POINTER(DISPPARAMS), POINTER(VARIANT), c_void_p, POINTER(c_uint32))
        try:
            self.rt.check(invoke(self.obj, self.dispid(name), byref(IID_NULL), 0,
                                 DISPATCH_PROPERTYPUT, byref(params), None, None, None),
                          "--" + name)
        finally:
            if arg.vt == VT_BSTR:
                self.rt.lib.SysFreeString(arg.bstrVal)

    def get_tavrix_file(self, input_path, output_path, params=""):
        """Calls getTavrixFile through its slot; returns the result text (empty on success)."""
        args = [self.rt.bstr(t) for t in (input_path, output_path, params)]
        result = c_void_p()
        call = slot(self.obj, SLOT_GET_TAVRIX_FILE, c_void_p, c_void_p, c_void_p,
                    POINTER(c_void_p))
        try:
            self.rt.check(call(self.obj, *args, byref(result)), "getTavrixFile")
            return self.rt.text(result.value)
        finally:
            for a in args:
                self.rt.lib.SysFreeString(a)
            self.rt.lib.SysFreeString(result)


    def failure_reasons(self):
        """Why the files of the last call failed, one line each, from the error object the
        engine leaves on this thread; empty when it left none."""
        support = c_void_p()
        query = slot(self.obj, SLOT_QUERY_INTERFACE, POINTER(GUID), POINTER(c_void_p))
        if query(self.obj, byref(IID_ISupportErrorInfo), byref(support)) != S_OK:
            return ""
        slot(support, SLOT_RELEASE)(support)
        info = c_void_p()
        if self.rt.lib.GetErrorInfo(0, byref(info)) != S_OK:
            return ""
        description = c_void_p()
        try:
            get = slot(info, SLOT_GET_DESCRIPTION, POINTER(c_void_p))
            if get(info, byref(description)) != S_OK:
                return ""
            return self.rt.text(description.value)
        finally:
            self.rt.lib.SysFreeString(description)
            slot(info, SLOT_RELEASE)(info)


def default_runtime():
    if os.environ.get("TAVRIXRT_LIBRARY"):
        return os.environ["TAVRIXRT_LIBRARY"]
    beside = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "build",
                          "libtavrixrt.so")
    return beside if os.path.exists(beside) else "libtavrixrt.so"


def parse_value(text):
    try:
        return int(text, 0)
    except ValueError:
        return text


def main(argv):
    runtime_path = default_runtime()
    settings = []
    paths = []
    i = 0
    while i < len(argv):
        arg = argv[i]
        if arg in ("-h", "--help"):
            print(__doc__.strip())
            return 0
        if arg.startswith("--") and len(arg) > 2:
            name, eq, value = arg[2:].partition("=")
            if not eq:
                if i + 1 >= len(argv):
                    print("stamp_pdf.py: missing value for " + arg, file=sys.stderr)
                    return 2
                i += 1
                value = argv[i]
            if name == "runtime":
                runtime_path = value
            else:
                settings.append((name, parse_value(value)))
        else:
            paths.append(arg)
        i += 1
    if len(paths) != 2:
        print("usage: stamp_pdf.py [--runtime LIB] [--NAME VALUE]... INPUT OUTPUT",
              file=sys.stderr)
        return 2

    runtime = Runtime(runtime_path)
    runtime.check(runtime.lib.CoInitializeEx(None, COINIT_APARTMENTTHREADED), "CoInitializeEx")
    engine = None
    try:
        try:
            engine = Engine(runtime)
        except AutomationError as error:
            raise AutomationError("%s\nIs the engine registered? Run: tavrix --register"
                                  % error) from None
        for name, value in settings:
            engine.put(name, value)
        result = engine.get_tavrix_file(paths[0], paths[1])
        reasons = engine.failure_reasons()
        sys.stdout.flush()
        sys.stderr.write(result)
        for reason in reasons.splitlines():
            print("stamp_pdf.py: " + reason, file=sys.stderr)
        return 1 if result else 0
    except AutomationError as error:
        print("stamp_pdf.py: %s" % error, file=sys.stderr)
        return 3
    finally:
        if engine:
            engine.release()
        runtime.lib.CoUninitialize()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
