// Allocation with an out-of-memory warning (see alloc.h).
#include "ui/alloc.h"

#include <windows.h>
#include <cstdlib>

static AllocFailureTest g_failureTest;

void SetAllocFailureForTests(AllocFailureTest fails) { g_failureTest = fails; }

void* AllocOrWarn(size_t size) {
    void* block = g_failureTest && g_failureTest(size) ? nullptr : malloc(size);
    if (!block) {
        MessageBoxA(NULL, "メモリ容量が不足しています。処理を中断します。", "malloc",
                    MB_OK | MB_ICONERROR);
    }
    return block;
}
