// HRESULT values and Win32 error numbers used across the system, as named constants.
#pragma once

#include <cstdint>

using HRESULT = int32_t;

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

// HRESULT from a 32-bit pattern written the usual hexadecimal way.
constexpr HRESULT MakeHr(uint32_t bits) { return static_cast<HRESULT>(bits); }

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = MakeHr(0x80004001);
constexpr HRESULT E_NOINTERFACE = MakeHr(0x80004002);
constexpr HRESULT E_POINTER = MakeHr(0x80004003);
constexpr HRESULT E_ABORT = MakeHr(0x80004004);
constexpr HRESULT E_FAIL = MakeHr(0x80004005);
constexpr HRESULT E_UNEXPECTED = MakeHr(0x8000FFFF);
constexpr HRESULT E_ACCESSDENIED = MakeHr(0x80070005);
constexpr HRESULT E_HANDLE = MakeHr(0x80070006);
constexpr HRESULT E_OUTOFMEMORY = MakeHr(0x8007000E);
constexpr HRESULT E_INVALIDARG = MakeHr(0x80070057);
constexpr HRESULT E_PENDING = MakeHr(0x8000000A);
constexpr HRESULT CLASS_E_NOAGGREGATION = MakeHr(0x80040110);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = MakeHr(0x80040111);
constexpr HRESULT REGDB_E_CLASSNOTREG = MakeHr(0x80040154);
constexpr HRESULT CO_E_SERVER_EXEC_FAILURE = MakeHr(0x80080005);
constexpr HRESULT CO_E_NOTINITIALIZED = MakeHr(0x800401F0);
constexpr HRESULT CONNECT_E_NOCONNECTION = MakeHr(0x80040200);
constexpr HRESULT CONNECT_E_ADVISELIMIT = MakeHr(0x80040201);
constexpr HRESULT CONNECT_E_CANNOTCONNECT = MakeHr(0x80040202);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = MakeHr(0x80020003);
constexpr HRESULT DISP_E_UNKNOWNNAME = MakeHr(0x80020006);
constexpr HRESULT DISP_E_BADPARAMCOUNT = MakeHr(0x8002000E);
constexpr HRESULT DISP_E_TYPEMISMATCH = MakeHr(0x80020005);
constexpr HRESULT RPC_E_DISCONNECTED = MakeHr(0x80010108);
constexpr HRESULT RPC_E_SERVER_DIED = MakeHr(0x80010007);

// Win32 error numbers.
constexpr uint32_t ERROR_SUCCESS = 0;
constexpr uint32_t ERROR_INVALID_FUNCTION = 1;
constexpr uint32_t ERROR_FILE_NOT_FOUND = 2;
constexpr uint32_t ERROR_PATH_NOT_FOUND = 3;
constexpr uint32_t ERROR_TOO_MANY_OPEN_FILES = 4;
constexpr uint32_t ERROR_ACCESS_DENIED = 5;
constexpr uint32_t ERROR_INVALID_HANDLE = 6;
constexpr uint32_t ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr uint32_t ERROR_INVALID_DATA = 13;
constexpr uint32_t ERROR_OUTOFMEMORY = 14;
constexpr uint32_t ERROR_NOT_SAME_DEVICE = 17;
constexpr uint32_t ERROR_NO_MORE_FILES = 18;
constexpr uint32_t ERROR_GEN_FAILURE = 31;  // also what a stalled pipe answers
constexpr uint32_t ERROR_SHARING_VIOLATION = 32;
constexpr uint32_t ERROR_HANDLE_EOF = 38;
constexpr uint32_t ERROR_NOT_SUPPORTED = 50;
constexpr uint32_t ERROR_FILE_EXISTS = 80;
constexpr uint32_t ERROR_INVALID_PARAMETER = 87;
constexpr uint32_t ERROR_BROKEN_PIPE = 109;
constexpr uint32_t ERROR_DISK_FULL = 112;
constexpr uint32_t ERROR_CALL_NOT_IMPLEMENTED = 120;
constexpr uint32_t ERROR_INSUFFICIENT_BUFFER = 122;
constexpr uint32_t ERROR_MOD_NOT_FOUND = 126;
constexpr uint32_t ERROR_PROC_NOT_FOUND = 127;
constexpr uint32_t ERROR_DIR_NOT_EMPTY = 145;
constexpr uint32_t ERROR_BUSY = 170;
constexpr uint32_t ERROR_ALREADY_EXISTS = 183;
constexpr uint32_t ERROR_FILENAME_EXCED_RANGE = 206;
constexpr uint32_t ERROR_MORE_DATA = 234;
constexpr uint32_t WAIT_TIMEOUT = 258;
constexpr uint32_t ERROR_NO_MORE_ITEMS = 259;
constexpr uint32_t ERROR_NOT_OWNER = 288;
constexpr uint32_t ERROR_TOO_MANY_POSTS = 298;
constexpr uint32_t ERROR_OPERATION_ABORTED = 995;
constexpr uint32_t ERROR_IO_INCOMPLETE = 996;
constexpr uint32_t ERROR_IO_PENDING = 997;
constexpr uint32_t ERROR_NOACCESS = 998;
constexpr uint32_t ERROR_KEY_DELETED = 1018;
constexpr uint32_t ERROR_SERVICE_REQUEST_TIMEOUT = 1053;
constexpr uint32_t ERROR_SERVICE_DISABLED = 1058;
constexpr uint32_t ERROR_FAILED_SERVICE_CONTROLLER_CONNECT = 1063;
constexpr uint32_t ERROR_PROCESS_ABORTED = 1067;
constexpr uint32_t ERROR_SERVICE_MARKED_FOR_DELETE = 1072;
constexpr uint32_t ERROR_SERVICE_DOES_NOT_EXIST = 1060;
constexpr uint32_t ERROR_SERVICE_CANNOT_ACCEPT_CTRL = 1061;
constexpr uint32_t ERROR_SERVICE_NOT_ACTIVE = 1062;
constexpr uint32_t ERROR_SERVICE_ALREADY_RUNNING = 1056;
constexpr uint32_t ERROR_SERVICE_EXISTS = 1073;
constexpr uint32_t ERROR_INVALID_SERVICE_CONTROL = 1052;
constexpr uint32_t ERROR_DEVICE_NOT_CONNECTED = 1167;
constexpr uint32_t ERROR_NOT_FOUND = 1168;
constexpr uint32_t ERROR_INVALID_THREAD_ID = 1444;
constexpr uint32_t ERROR_TIMEOUT = 1460;
constexpr uint32_t ERROR_NOT_ENOUGH_QUOTA = 1816;
constexpr uint32_t ERROR_UNSUPPORTED_TYPE = 1630;

// Wait results.
constexpr uint32_t WAIT_OBJECT_0 = 0;
constexpr uint32_t WAIT_ABANDONED_0 = 0x80;
constexpr uint32_t WAIT_FAILED = 0xFFFFFFFF;
constexpr uint32_t INFINITE = 0xFFFFFFFF;

// HRESULT carrying a Win32 error number.
constexpr HRESULT HRESULT_FROM_WIN32(uint32_t err) {
  return err == 0 ? S_OK : MakeHr((err & 0xFFFF) | 0x80070000u);
}
