// Bounded text helpers: every copy, append and format cuts to the buffer and terminates.
#pragma once
#include <windows.h>
#include <stdarg.h>

// Copies src into dst (capacity cap characters, terminator included), cut to cap - 1.
// A null src gives the empty text. Returns the number of characters written.
int FfCopyText(wchar_t* dst, int cap, const wchar_t* src);
// Copies at most count characters of src.
int FfCopyTextN(wchar_t* dst, int cap, const wchar_t* src, int count);
// Appends src to the text already in dst, as far as the capacity allows.
int FfAppendText(wchar_t* dst, int cap, const wchar_t* src);
// printf-style with the platform's wide semantics (%s wide, %hs narrow, %p upper-case hex);
// the result is cut to cap - 1 characters and always terminated. Returns its length.
int FfFormatText(wchar_t* dst, int cap, const wchar_t* fmt, ...);
int FfFormatTextV(wchar_t* dst, int cap, const wchar_t* fmt, va_list args);
// Comparison that folds only the ASCII letters A-Z (the system runtime's _wcsicmp).
int FfCompareTextI(const wchar_t* a, const wchar_t* b);
bool FfEqualTextI(const wchar_t* a, const wchar_t* b);

// ---- Text pool --------------------------------------------------------------------------

// Texts stored back to back in blocks that never move, so a record can keep a plain pointer to
// its text while the records themselves are reallocated. Freed all at once.
struct FfTextBlock;
struct FfTextPool {
    FfTextBlock* head;   // the block being filled; each links to the one before
    SIZE_T bytes;        // heap bytes held by the blocks
};
#define FF_TEXT_BLOCK_CHARS 32768  // characters per block; a longer text gets a block of its own

// Copies length characters of text (and a terminator) into the pool. Null when out of memory.
const wchar_t* FfPoolAddText(FfTextPool* pool, const wchar_t* text, int length);
// Frees every block; the pool is empty again and every text it gave is gone.
void FfPoolFree(FfTextPool* pool);
// Every text it gave is gone, but one block is kept for the next texts, so a pool emptied and
// filled again and again allocates nothing while its texts fit one block.
void FfPoolEmpty(FfTextPool* pool);
