// Launching a program, or opening a document with the program the shell associates
// with it. A kept program (PROGRAM_KEEP) comes back as a ProgramHandle whose address is
// its identity; kept handles and pipe ends belong to the caller from then on.
#ifndef VANTOREL_FS_PROCESS_H
#define VANTOREL_FS_PROCESS_H

#include <stdint.h>
#include <windows.h>

#include "runtime/registry.h"

struct ProgramHandle {
    HANDLE process;
    int32_t process_id;   // -1 when the shell started the program
    HANDLE input_pipe;    // write end feeding the program's standard input, or 0
    HANDLE output_pipe;   // read end of its standard output, or 0
    HANDLE error_pipe;    // read end of its standard error, or 0
    uint32_t flags;
};
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(ProgramHandle) == 24, "ProgramHandle keeps its 32-bit layout");
#endif

enum {
    PROGRAM_WAIT = 1,    // return only when the program has ended
    PROGRAM_HIDDEN = 2,  // hidden window, no console
    PROGRAM_KEEP = 4,    // return a ProgramHandle; needed by the three pipes
    PROGRAM_READ_OUTPUT = 8,
    PROGRAM_WRITE_INPUT = 16,
    PROGRAM_READ_ERROR = 32,
    PROGRAM_CHAIN_INPUT = 64,  // standard input from the source program's output pipe
};

// The registry of launched programs (4-byte records holding a process handle, released
// by program_release) and the chain of kept ProgramHandle records.
extern ObjectRegistry* program_registry;
extern ObjectRegistry* program_chain;

// The process lock, the launched programs' registry and the chain of kept programs.
void process_library_init(void);
// Closes the handle held by a record of program_registry and frees the record.
int32_t program_release(int32_t number);

// program_run_ex with flags 0 and no source program.
int32_t program_run(const char* program, const char* parameters, const char* folder);
// Starts program (quoted unless it already starts with a quote) with parameters in
// folder (null or empty: the current folder). When no process can be created and no
// pipe was asked for, the shell opens program as a document. 0 on failure; with
// PROGRAM_KEEP the ProgramHandle's identity; else 1.
int32_t program_run_ex(const char* program, const char* parameters, const char* folder,
                       uint32_t flags, const ProgramHandle* source);

#endif
