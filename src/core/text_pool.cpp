// The text pool: texts in blocks that never move, freed all at once.
#include "core/text.h"
#include <string.h>

struct FfTextBlock {
    FfTextBlock* previous;
    int used;      // characters taken
    int capacity;  // characters in chars
    wchar_t chars[1];
};

const wchar_t* FfPoolAddText(FfTextPool* pool, const wchar_t* text, int length)
{
    if (!pool || length < 0) return nullptr;
    FfTextBlock* block = pool->head;
    if (!block || block->capacity - block->used < length + 1) {
        int capacity = length + 1 > FF_TEXT_BLOCK_CHARS ? length + 1 : FF_TEXT_BLOCK_CHARS;
        SIZE_T bytes = sizeof(FfTextBlock) + sizeof(wchar_t) * (SIZE_T)capacity;
        block = (FfTextBlock*)HeapAlloc(GetProcessHeap(), 0, bytes);
        if (!block) return nullptr;
        block->previous = pool->head;
        block->used = 0;
        block->capacity = capacity;
        pool->head = block;
        pool->bytes += bytes;
    }
    wchar_t* out = block->chars + block->used;
    if (length > 0) memcpy(out, text, sizeof(wchar_t) * (SIZE_T)length);
    out[length] = 0;
    block->used += length + 1;
    return out;
}

void FfPoolEmpty(FfTextPool* pool)
{
    if (!pool || !pool->head) return;
    FfTextBlock* kept = pool->head;
    pool->head = kept->previous;
    FfPoolFree(pool);
    // A block made for one long text is no better than none.
    if (kept->capacity != FF_TEXT_BLOCK_CHARS) {
        HeapFree(GetProcessHeap(), 0, kept);
        return;
    }
    kept->previous = nullptr;
    kept->used = 0;
    pool->head = kept;
    pool->bytes = sizeof(FfTextBlock) + sizeof(wchar_t) * (SIZE_T)kept->capacity;
}

void FfPoolFree(FfTextPool* pool)
{
    if (!pool) return;
    while (pool->head) {
        FfTextBlock* previous = pool->head->previous;
        HeapFree(GetProcessHeap(), 0, pool->head);
        pool->head = previous;
    }
    pool->bytes = 0;
}
