// Where each thread's context lives, how it is created and when it is freed.
//
// On Windows the contexts sit in one thread-local storage slot and come from the local heap.
// The loader tells the library when the process and each thread start and end, through a TLS
// callback rather than DllMain, so that the same object works in zar.dll and when the static
// library is linked into a program or another DLL. Elsewhere a C++ thread_local owns the context.
// The Windows path keeps no C++ thread_local object with a destructor: MinGW's emulated thread
// storage has crashed at thread exit with such objects.
#include "frame.h"

#include <cstdlib>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <atomic>
#else
#include <cstdio>
#endif

namespace {

constexpr const char* kNoContext = "Problem to allocate memory for TLS ZAR context.";

void initialise(ThreadContext* context) {
    context->status = STATUS_OK;
    context->errorMode = ZAR_ERRMODE_EXIT;
    context->handler = zarDefaultErrorHandler;
}

#if defined(_WIN32)

// The block size that the Windows loader contract gives the context; only the first fields
// are used.
constexpr SIZE_T kContextBytes = sizeof(ThreadContext) > 1868 ? sizeof(ThreadContext) : 1868;

// Written at process attach, before other threads can call in, and set again only if the
// loader never told the library about the process (see contextSlot).
std::atomic<DWORD> gSlot{TLS_OUT_OF_INDEXES};

ThreadContext* newContext() {
    auto* context = static_cast<ThreadContext*>(LocalAlloc(LMEM_ZEROINIT, kContextBytes));
    if (context != nullptr) initialise(context);
    return context;
}

[[noreturn]] void contextFailure() {
    FatalAppExitA(0, kNoContext);
    std::abort();
}

// The slot, allocated here when no process-attach notification came first (a toolchain that
// drops TLS callbacks). Two threads racing here keep the first slot and free the other.
DWORD contextSlot() {
    DWORD slot = gSlot.load(std::memory_order_acquire);
    if (slot != TLS_OUT_OF_INDEXES) return slot;
    DWORD fresh = TlsAlloc();
    if (fresh == TLS_OUT_OF_INDEXES) contextFailure();
    if (gSlot.compare_exchange_strong(slot, fresh, std::memory_order_acq_rel)) return fresh;
    TlsFree(fresh);
    return slot;
}

BOOL attachThread(DWORD slot) {
    ThreadContext* context = newContext();
    if (context == nullptr) return FALSE;
    TlsSetValue(slot, context);
    return TRUE;
}

void detachThread(DWORD slot) {
    if (void* context = TlsGetValue(slot)) {
        LocalFree(context);
        TlsSetValue(slot, nullptr);
    }
}

// The library's entry point, by the loader's reason code.
BOOL libraryEntry(DWORD reason) {
    DWORD slot = gSlot.load(std::memory_order_acquire);
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            if (slot == TLS_OUT_OF_INDEXES) slot = TlsAlloc();
            if (slot == TLS_OUT_OF_INDEXES) return FALSE;
            gSlot.store(slot, std::memory_order_release);
            return attachThread(slot);
        case DLL_THREAD_ATTACH:
            return slot != TLS_OUT_OF_INDEXES && attachThread(slot);
        case DLL_THREAD_DETACH:
            if (slot != TLS_OUT_OF_INDEXES) detachThread(slot);
            return TRUE;
        case DLL_PROCESS_DETACH:
            if (slot != TLS_OUT_OF_INDEXES) {
                detachThread(slot);
                gSlot.store(TLS_OUT_OF_INDEXES, std::memory_order_release);
                TlsFree(slot);
            }
            return TRUE;
        default:
            return TRUE;
    }
}

void NTAPI onLoaderEvent(PVOID, DWORD reason, PVOID) { libraryEntry(reason); }

#else

ThreadContext* newContext() {
    auto* context = static_cast<ThreadContext*>(std::calloc(1, sizeof(ThreadContext)));
    if (context != nullptr) initialise(context);
    return context;
}

[[noreturn]] void contextFailure() {
    std::fputs(kNoContext, stderr);
    std::fputc('\n', stderr);
    std::abort();
}

// Owns the calling thread's context and frees it when the thread ends.
struct ContextHolder {
    ThreadContext* context = nullptr;
    ~ContextHolder() {
        std::free(context);
        context = nullptr;
    }
};

thread_local ContextHolder tlsContext;

#endif

}  // namespace

#if defined(_WIN32)
// The loader calls every pointer in the .CRT$XL* sections of an image at process and thread
// start and end; the linker must keep this one although nothing refers to it.
#if defined(_MSC_VER)
#pragma section(".CRT$XLB", long, read)
extern "C" __declspec(allocate(".CRT$XLB")) const PIMAGE_TLS_CALLBACK zarTlsCallback =
    onLoaderEvent;
#if defined(_M_IX86)
#pragma comment(linker, "/INCLUDE:__tls_used")
#pragma comment(linker, "/INCLUDE:_zarTlsCallback")
#else
#pragma comment(linker, "/INCLUDE:_tls_used")
#pragma comment(linker, "/INCLUDE:zarTlsCallback")
#endif
#else
extern "C" {
__attribute__((used, section(".CRT$XLB"))) PIMAGE_TLS_CALLBACK zarTlsCallback = onLoaderEvent;
}
#endif

ThreadContext* zarGetThreadContext() {
    DWORD slot = contextSlot();
    auto* context = static_cast<ThreadContext*>(TlsGetValue(slot));
    if (context == nullptr) {
        context = newContext();
        if (context == nullptr) contextFailure();
        TlsSetValue(slot, context);
    }
    return context;
}

#else

ThreadContext* zarGetThreadContext() {
    ThreadContext*& context = tlsContext.context;
    if (context == nullptr) {
        context = newContext();
        if (context == nullptr) contextFailure();
    }
    return context;
}

#endif
