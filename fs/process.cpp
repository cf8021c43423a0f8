// Program launch: CreateProcessA with optional pipes for the standard handles, and
// ShellExecuteExA for what cannot be started as a program (a document). Kept programs
// are records in the automatic chain of program_chain, changed under the process lock.
#include "fs/process.h"

#include <shellapi.h>
#include <string.h>

#include "fs/pathbuf.h"
#include "runtime/memory.h"
#include "runtime/strings.h"

enum { PROGRAM_GROWTH = 4 };

ObjectRegistry* program_registry;
ObjectRegistry* program_chain;
static CRITICAL_SECTION process_lock;

void process_library_init(void) {
    if (program_chain) return;
    InitializeCriticalSection(&process_lock);
    program_registry = registry_new(sizeof(HANDLE), PROGRAM_GROWTH, program_release);
    program_chain = registry_new(sizeof(ProgramHandle), PROGRAM_GROWTH, 0);
}

int32_t program_release(int32_t number) {
    HANDLE* record = program_registry ? (HANDLE*)registry_get(program_registry, number) : 0;
    if (!record) return 0;
    CloseHandle(*record);
    registry_free(program_registry, number);
    return 1;
}

int32_t program_run(const char* program, const char* parameters, const char* folder) {
    return program_run_ex(program, parameters, folder, 0, 0);
}

// The pipe ends of one launch: the child's ends are inheritable and closed once the
// child has them; the caller's ends are private and go into the ProgramHandle.
struct LaunchPipes {
    HANDLE child_input, child_output, child_error;
    HANDLE own_input, own_output, own_error;
};

static void close_handle(HANDLE* handle) {
    if (*handle) CloseHandle(*handle);
    *handle = 0;
}

static void close_child_ends(LaunchPipes* pipes) {
    close_handle(&pipes->child_output);
    close_handle(&pipes->child_input);
    close_handle(&pipes->child_error);
}

static void close_own_ends(LaunchPipes* pipes) {
    close_handle(&pipes->own_input);
    close_handle(&pipes->own_output);
    close_handle(&pipes->own_error);
}

// The same handle without inheritance; when that cannot be had, the handle stays.
static HANDLE make_private(HANDLE handle) {
    HANDLE process = GetCurrentProcess();
    HANDLE duplicate;
    if (!DuplicateHandle(process, handle, process, &duplicate, 0, FALSE, DUPLICATE_SAME_ACCESS))
        return handle;
    CloseHandle(handle);
    return duplicate;
}

static bool make_pipe(HANDLE* child_end, HANDLE* own_end, bool child_reads) {
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, 0, TRUE};
    HANDLE read_end, write_end;
    if (!CreatePipe(&read_end, &write_end, &inheritable, 0)) return false;
    *child_end = child_reads ? read_end : write_end;
    *own_end = make_private(child_reads ? write_end : read_end);
    return true;
}

// A source program's output end is private to this process: the chained child needs an
// inheritable copy of it, or it would get a handle number that means nothing to it.
static HANDLE inheritable_copy(HANDLE handle) {
    HANDLE process = GetCurrentProcess();
    HANDLE duplicate;
    if (!DuplicateHandle(process, handle, process, &duplicate, 0, TRUE, DUPLICATE_SAME_ACCESS))
        return 0;
    return duplicate;
}

static void use_standard_handles(STARTUPINFOA* startup, DWORD* creation, BOOL* inherit) {
    startup->dwFlags |= STARTF_USESTDHANDLES;
    *inherit = TRUE;
    *creation &= ~(DWORD)DETACHED_PROCESS;
}

static void make_pipes(uint32_t flags, const ProgramHandle* source, LaunchPipes* pipes,
                       STARTUPINFOA* startup, DWORD* creation, BOOL* inherit) {
    bool keep = (flags & PROGRAM_KEEP) != 0;
    if ((flags & PROGRAM_CHAIN_INPUT) && source && source->output_pipe) {
        pipes->child_input = inheritable_copy(source->output_pipe);
        startup->hStdInput = pipes->child_input ? pipes->child_input : source->output_pipe;
        use_standard_handles(startup, creation, inherit);
    } else if (keep && (flags & PROGRAM_WRITE_INPUT) &&
               make_pipe(&pipes->child_input, &pipes->own_input, true)) {
        startup->hStdInput = pipes->child_input;
        use_standard_handles(startup, creation, inherit);
    }
    if (keep && (flags & PROGRAM_READ_OUTPUT) &&
        make_pipe(&pipes->child_output, &pipes->own_output, false)) {
        startup->hStdOutput = pipes->child_output;
        use_standard_handles(startup, creation, inherit);
    }
    if (keep && (flags & PROGRAM_READ_ERROR) &&
        make_pipe(&pipes->child_error, &pipes->own_error, false)) {
        startup->hStdError = pipes->child_error;
        use_standard_handles(startup, creation, inherit);
    }
    if (startup->dwFlags & STARTF_USESTDHANDLES) {
        if (!startup->hStdInput) startup->hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        if (!startup->hStdOutput) startup->hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
        if (!startup->hStdError) startup->hStdError = GetStdHandle(STD_ERROR_HANDLE);
    }
}

// The program between double quotes unless it already starts with one, then a space
// and the parameters when there are any.
static char* command_line_new(const char* program, const char* parameters) {
    size_t program_length = strlen(program);
    size_t parameters_length = strlen(parameters);
    char* command = (char*)HeapAlloc(object_heap, 0, program_length + parameters_length + 4);
    if (!command) return 0;
    char* end = command;
    bool quoted = program[0] == '"';
    if (!quoted) *end++ = '"';
    memcpy(end, program, program_length);
    end += program_length;
    if (!quoted) *end++ = '"';
    if (parameters_length) {
        *end++ = ' ';
        memcpy(end, parameters, parameters_length);
        end += parameters_length;
    }
    *end = 0;
    return command;
}

// Opens program through its shell association. Without a folder, a program text with
// a backslash after its first character runs in the folder that text names.
static HANDLE shell_open(const char* program, const char* parameters, const char* folder,
                         int show, bool* opened) {
    PathBuffer program_folder;
    if (!folder) {
        // The last '\\' found by character: a double-byte character's trail byte may be one.
        const uint32_t code_page = GetACP();
        int32_t last = 0;
        for (int32_t i = 0; program[i]; i += path_char_bytes(program + i, code_page))
            if (program[i] == '\\') last = i;
        if (last > 0) {
            path_copy(program_folder, program, last + 1);
            folder = program_folder;
        }
    }
    SHELLEXECUTEINFOA execute;
    memset(&execute, 0, sizeof execute);
    execute.cbSize = sizeof execute;
    execute.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_DDEWAIT | SEE_MASK_FLAG_NO_UI;
    execute.lpFile = program;
    execute.lpParameters = parameters;
    execute.lpDirectory = folder;
    execute.nShow = show;
    *opened = ShellExecuteExA(&execute) != FALSE;
    return *opened ? execute.hProcess : 0;
}

static void kept_fill(ProgramHandle* kept, HANDLE process, int32_t process_id,
                      LaunchPipes* pipes, uint32_t flags) {
    EnterCriticalSection(&process_lock);
    kept->process = process;
    kept->process_id = process_id;
    kept->input_pipe = pipes->own_input;
    kept->output_pipe = pipes->own_output;
    kept->error_pipe = pipes->own_error;
    kept->flags = flags;
    LeaveCriticalSection(&process_lock);
    // The caller owns them now.
    pipes->own_input = pipes->own_output = pipes->own_error = 0;
}

// What becomes of a started process: waited for when asked, then kept or closed.
static int32_t launched(HANDLE process, int32_t process_id, uint32_t flags,
                        ProgramHandle* kept, LaunchPipes* pipes) {
    if ((flags & PROGRAM_WAIT) && process) WaitForSingleObject(process, INFINITE);
    if (kept) {
        kept_fill(kept, process, process_id, pipes, flags);
        return registry_identity(kept);
    }
    if (process) CloseHandle(process);
    return 1;
}

int32_t program_run_ex(const char* program, const char* parameters, const char* folder,
                       uint32_t flags, const ProgramHandle* source) {
    bool keep = (flags & PROGRAM_KEEP) != 0;
    if (keep && !program_chain) return 0;
    if (!program) program = str_empty;
    if (!parameters) parameters = str_empty;
    if (folder && !folder[0]) folder = 0;

    bool hidden = (flags & PROGRAM_HIDDEN) != 0;
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = (WORD)(hidden ? SW_HIDE : SW_SHOWNORMAL);
    DWORD creation = NORMAL_PRIORITY_CLASS | (hidden ? DETACHED_PROCESS : 0);
    BOOL inherit = FALSE;

    char* command = command_line_new(program, parameters);
    if (!command) return 0;
    // The record is had before anything starts, so that a missing one starts nothing.
    ProgramHandle* kept = 0;
    if (keep) {
        EnterCriticalSection(&process_lock);
        kept = (ProgramHandle*)registry_allocate(program_chain, REGISTRY_AUTOMATIC);
        LeaveCriticalSection(&process_lock);
        if (!kept) {
            HeapFree(object_heap, 0, command);
            return 0;
        }
    }

    LaunchPipes pipes;
    memset(&pipes, 0, sizeof pipes);
    make_pipes(flags, source, &pipes, &startup, &creation, &inherit);

    int32_t result = 0;
    PROCESS_INFORMATION info;
    if (CreateProcessA(0, command, 0, 0, inherit, creation, 0, folder, &startup, &info)) {
        close_child_ends(&pipes);
        CloseHandle(info.hThread);
        result = launched(info.hProcess, (int32_t)info.dwProcessId, flags, kept, &pipes);
    } else {
        close_child_ends(&pipes);
        close_own_ends(&pipes);
        uint32_t piped = PROGRAM_READ_OUTPUT | PROGRAM_WRITE_INPUT | PROGRAM_READ_ERROR |
                         PROGRAM_CHAIN_INPUT;
        bool opened = false;
        HANDLE process = 0;
        if (!(flags & piped))
            process = shell_open(program, parameters, folder, startup.wShowWindow, &opened);
        if (opened) result = launched(process, -1, flags, kept, &pipes);
    }
    if (!result && kept) {
        EnterCriticalSection(&process_lock);
        registry_free(program_chain, registry_identity(kept));
        LeaveCriticalSection(&process_lock);
    }
    HeapFree(object_heap, 0, command);
    return result;
}
