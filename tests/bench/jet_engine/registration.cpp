// Self-registration for regsvr32, done by the bench's COM server helpers for the class in module.cpp.
#include "module.h"

extern "C" {

HRESULT STDAPICALLTYPE DllRegisterServer() { return bench::com::register_server(jet::kServer); }

HRESULT STDAPICALLTYPE DllUnregisterServer() { return bench::com::unregister_server(jet::kServer); }

}  // extern "C"
