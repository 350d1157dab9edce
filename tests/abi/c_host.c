/* A panel host written in C: it loads a script library and drives the script object as a
 * Visual Studio-built host does, through the MSVC object layout, so that no C++ ABI of this
 * compiler takes part. The object's first word points at its virtual table; slot 0 is the
 * scalar deleting destructor (a flags word), slot 1 callback(argument, kind). The host link
 * handed to the script is laid out the same way.
 *
 *     c_host LIBRARY
 *
 * Runs the follow script's life on the demo system (CC_ROOT, CC_SYSTEM and CC_WORKSTATION
 * come from the environment) and prints everything that crosses the link. Exit status: 0 when
 * every line, answer and release held; 1 when one did not, or, before any call into the
 * object, when the object is not in the MSVC layout; 2 when the library cannot be used. */
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "vesk_script_export.h"

/* Member calls. 32-bit MSVC calls members with thiscall: `this` in ECX, the rest on the
 * stack, popped by the callee. Visual Studio's C compiler has no __thiscall, but __fastcall
 * passes its first two words in ECX and EDX and also has the callee pop the rest: with an
 * unused EDX word it is the same call. 64-bit Windows has one convention, `this` first. */
#if defined(_M_IX86)
#define HOST_MEMBER __fastcall
#define HOST_SELF(type, name) type name, void *unusedEdx
#define HOST_SELF_USED() (void)unusedEdx
#define HOST_THIS(object) (object), NULL
#else
#define HOST_MEMBER
#define HOST_SELF(type, name) type name
#define HOST_SELF_USED() (void)0
#define HOST_THIS(object) (object)
#endif

typedef struct msvc_object msvc_object;
typedef struct msvc_vtable {
    /* Destroys the object, and frees it when bit 0 of flags is set; returns the object. */
    void*(HOST_MEMBER* scalarDeletingDestructor)(HOST_SELF(msvc_object*, self), unsigned flags);
    char*(HOST_MEMBER* callback)(HOST_SELF(msvc_object*, self), char* argument, int kind);
} msvc_vtable;
struct msvc_object {
    const msvc_vtable* vtable;
};

/* The host structures: 32-bit words, native pointers. */
typedef struct host_caption {
    const char* command;
    const char* subs[32];
    const char* value;
    int32_t subCount;
    unsigned char hasValue; /* a C++ bool: one byte */
    char* text;
} host_caption;

typedef struct host_button {
    int32_t w0;
    int32_t w1;
    const char* panel;
    const char* id;
    const host_caption* caption;
} host_button;

typedef struct host_revertive {
    int32_t device;
    int32_t w1;
    int32_t index;
    int32_t w3;
    const char* text;
} host_revertive;

/* The 32-bit host's offsets: a copy that drifted fails the x86 build. */
#define HOST_LAYOUT(name, actual, host)                                                            \
    typedef char name[(sizeof(void*) != 4 || (actual) == (host)) ? 1 : -1]
HOST_LAYOUT(button_panel_at_8, offsetof(host_button, panel), 8);
HOST_LAYOUT(button_caption_at_16, offsetof(host_button, caption), 16);
HOST_LAYOUT(revertive_index_at_8, offsetof(host_revertive, index), 8);
HOST_LAYOUT(revertive_text_at_16, offsetof(host_revertive, text), 16);
HOST_LAYOUT(caption_value_at_132, offsetof(host_caption, value), 132);
HOST_LAYOUT(caption_has_value_at_140, offsetof(host_caption, hasValue), 140);
HOST_LAYOUT(caption_is_148_bytes, sizeof(host_caption), 148);

/* ---- The host link ---- */

enum { maxLinesPerEvent = 16, maxLineLength = 256, maxReplies = 64 };

/* The replies the host gives, by the line's start. A reply the script reads must come back
 * exactly once; one it only tests for null, or ignores, must never come back. Lines not
 * listed (PD) are answered with null, as for a panel that is not open. */
typedef struct reply_rule {
    const char* lineStart;
    const char* text;
    int mustReturn;
} reply_rule;

static const reply_rule replyRules[] = {
    {"SD 'router1'", "3 0", 1}, {"PS ", "acknowledged", 0}, {"RR ", "ok", 0}, {"RP ", "ok", 0},
    {"RC ", "ok", 0},           {"TP ", "ok", 0},           {"ET ", "ok", 0}, {"AS", "ok", 0},
};

typedef struct reply_record {
    char* text; /* the host's block; freed at the end of the run, never by the script */
    int mustReturn;
    int returned;
    int reported; /* missing release already reported */
} reply_record;

typedef struct host_link {
    const msvc_vtable* vtable; /* first word, as in every object of the interface */
    char lines[maxLinesPerEvent][maxLineLength];
    int lineCount;
    reply_record replies[maxReplies];
    int replyCount;
    int nullReleases;
    int faults;
} host_link;

static void printText(const char* text) {
    const unsigned char* at = (const unsigned char*)text;
    for (; *at != 0; ++at) {
        if (*at == '\n') {
            fputs("\\n", stdout);
        } else if (*at < 0x20 || *at >= 0x7f) {
            printf("\\x%02x", *at);
        } else {
            putchar(*at);
        }
    }
}

static char* linkSend(host_link* link, const char* line) {
    const char* end;
    size_t length;
    size_t i;
    if (line == NULL) {
        printf("  FAIL    the script sent a null line\n");
        ++link->faults;
        return NULL;
    }
    end = (const char*)memchr(line, 0, maxLineLength);
    if (end == NULL || link->lineCount == maxLinesPerEvent) {
        printf("  FAIL    line too long, or too many lines for one event\n");
        ++link->faults;
        return NULL;
    }
    length = (size_t)(end - line);
    memcpy(link->lines[link->lineCount++], line, length + 1);
    for (i = 0; i < sizeof replyRules / sizeof replyRules[0]; ++i) {
        reply_record* record;
        if (strncmp(line, replyRules[i].lineStart, strlen(replyRules[i].lineStart)) != 0) {
            continue;
        }
        if (link->replyCount == maxReplies) {
            printf("  FAIL    more replies than the host keeps\n");
            ++link->faults;
            return NULL;
        }
        record = &link->replies[link->replyCount];
        record->text = (char*)malloc(strlen(replyRules[i].text) + 1);
        if (record->text == NULL) {
            ++link->faults;
            return NULL;
        }
        strcpy(record->text, replyRules[i].text);
        record->mustReturn = replyRules[i].mustReturn;
        record->returned = 0;
        record->reported = 0;
        ++link->replyCount;
        return record->text;
    }
    return NULL;
}

static void linkRelease(host_link* link, const char* text) {
    int i;
    if (text == NULL) {
        ++link->nullReleases;
        return;
    }
    for (i = 0; i < link->replyCount; ++i) {
        reply_record* record = &link->replies[i];
        if (record->text != text) {
            continue;
        }
        if (!record->mustReturn || record->returned > 0) {
            printf("  FAIL    reply \"%s\" released %s\n", text,
                   record->mustReturn ? "twice" : "though the script may not read it");
            ++link->faults;
        }
        ++record->returned;
        return;
    }
    printf("  FAIL    released a text the host never gave\n");
    ++link->faults;
}

static char* HOST_MEMBER linkCallback(HOST_SELF(msvc_object*, self), char* argument, int kind) {
    host_link* link = (host_link*)self;
    HOST_SELF_USED();
    if (kind == VESK_LINK_SEND) {
        return linkSend(link, argument);
    }
    if (kind == VESK_LINK_RELEASE) {
        linkRelease(link, argument);
        return NULL;
    }
    printf("  FAIL    the script used link kind %d\n", kind);
    ++link->faults;
    return NULL;
}

static void* HOST_MEMBER linkDestructor(HOST_SELF(msvc_object*, self), unsigned flags) {
    HOST_SELF_USED();
    (void)flags;
    printf("  FAIL    the script destroyed the host link\n");
    ++((host_link*)self)->faults;
    return self;
}

static const msvc_vtable linkVtable = {linkDestructor, linkCallback};

/* Compares the lines sent since the last check with `expected` (null-ended), printing them. */
static int checkLines(host_link* link, const char* const* expected, int* lineChecks) {
    int failures = 0;
    int i;
    for (i = 0; i < link->lineCount || expected[i] != NULL; ++i) {
        if (i < link->lineCount) {
            printf("  out     %s\n", link->lines[i]);
        }
        if (expected[i] == NULL) {
            printf("  FAIL    not expected\n");
            ++failures;
            /* Nothing past the end of `expected`. */
            for (++i; i < link->lineCount; ++i) {
                printf("  out     %s\n  FAIL    not expected\n", link->lines[i]);
                ++failures;
            }
            break;
        }
        ++*lineChecks;
        if (i >= link->lineCount) {
            printf("  FAIL    expected %s, nothing sent\n", expected[i]);
            ++failures;
        } else if (strcmp(link->lines[i], expected[i]) != 0) {
            printf("  FAIL    expected %s\n", expected[i]);
            ++failures;
        }
    }
    link->lineCount = 0;
    return failures;
}

/* Replies the script reads go back within the call that read them. */
static int checkRepliesBack(host_link* link) {
    int failures = 0;
    int i;
    for (i = 0; i < link->replyCount; ++i) {
        reply_record* record = &link->replies[i];
        if (record->mustReturn && record->returned == 0 && !record->reported) {
            record->reported = 1;
            printf("  FAIL    reply \"%s\" not released\n", record->text);
            ++failures;
        }
    }
    return failures;
}

/* ---- The object layout ---- */

typedef struct image {
    const unsigned char* base;
    size_t size;
} image;

static int inImage(const image* module, const void* at, size_t size) {
    const unsigned char* byte = (const unsigned char*)at;
    return byte >= module->base && size <= module->size &&
           (size_t)(byte - module->base) <= module->size - size;
}

static int readableName(const image* module, const char* name, const char* prefix) {
    size_t i;
    for (i = 0; i < 64 && inImage(module, name + i, 1); ++i) {
        if (name[i] == 0) {
            return i > 0 && strncmp(name, prefix, strlen(prefix)) == 0;
        }
    }
    return 0;
}

/* Visual Studio puts a pointer to the class's complete object locator in the word before
 * each virtual table (RTTI is on by default). Its fields: signature (1 on x64, where the
 * others are offsets from the image base, the last one the locator's own), the table's
 * offset in the object, a constructor displacement, the type descriptor, the class
 * hierarchy, and on x64 the self offset. The type descriptor's name is ".?AV<class>@@". An
 * Itanium-ABI build (MinGW, GCC, clang for GNU targets) keeps its typeinfo there instead: a
 * virtual table pointer and the mangled name. Nothing is called; every word read is checked
 * to lie inside the loaded image. */
static int checkMsvcLayout(const char* library, HMODULE handle, const msvc_object* object) {
    const IMAGE_DOS_HEADER* dos = (const IMAGE_DOS_HEADER*)handle;
    const IMAGE_NT_HEADERS* nt =
        (const IMAGE_NT_HEADERS*)((const unsigned char*)handle + dos->e_lfanew);
    image module;
    const void* const* vtable = (const void* const*)object->vtable;
    const uint32_t* locator;
    const char* typeName = NULL;
    module.base = (const unsigned char*)handle;
    module.size = nt->OptionalHeader.SizeOfImage;

    if (!inImage(&module, vtable - 1, 3 * sizeof(void*)) || !inImage(&module, vtable[0], 1) ||
        !inImage(&module, vtable[1], 1)) {
        printf("LAYOUT MISMATCH: %s: the object's first word does not point at a table of two "
               "functions of the library, so it is no virtual table pointer\n",
               library);
        return 0;
    }
    locator = (const uint32_t*)vtable[-1];
    /* The table must also be the one at the object's start (offset 0). */
#if defined(_WIN64)
    if (inImage(&module, locator, 6 * sizeof(uint32_t)) && locator[0] == 1 && locator[1] == 0 &&
        module.base + locator[5] == (const unsigned char*)locator &&
        inImage(&module, module.base + locator[3], 3 * sizeof(void*))) {
        typeName = (const char*)(module.base + locator[3] + 2 * sizeof(void*));
    }
#else
    if (inImage(&module, locator, 5 * sizeof(uint32_t)) && locator[0] == 0 && locator[1] == 0) {
        const unsigned char* descriptor = (const unsigned char*)(uintptr_t)locator[3];
        if (inImage(&module, descriptor, 3 * sizeof(void*))) {
            typeName = (const char*)(descriptor + 2 * sizeof(void*));
        }
    }
#endif
    if (typeName != NULL && readableName(&module, typeName, ".?AV")) {
        printf("layout: MSVC (complete object locator of %s)\n", typeName);
        return 1;
    }
    {
        const void* const* typeinfo = (const void* const*)vtable[-1];
        if (inImage(&module, typeinfo, 2 * sizeof(void*)) &&
            readableName(&module, (const char*)typeinfo[1], "")) {
            printf("LAYOUT MISMATCH: %s is in the Itanium C++ ABI object layout (typeinfo \"%s\" "
                   "before the virtual table), not the MSVC layout a Visual Studio-built host "
                   "calls: there the destructor takes two slots and callback is the third\n",
                   library, (const char*)typeinfo[1]);
            return 0;
        }
    }
    printf("LAYOUT MISMATCH: %s: no MSVC complete object locator before the virtual table\n",
           library);
    return 0;
}

/* ---- The follow script's life ---- */

static const char* const panelName = "1";
static const int32_t routerDevice = 3;

typedef struct life_step {
    const char* what;
    int kind;             /* vesk_event_kind */
    const char* text;     /* parent text, button id, revertive text */
    int number;           /* revertive index, timer id */
    const char* answer;   /* the parent answer, null for none */
    const char* lines[4]; /* the lines sent, in order */
} life_step;

static const life_step life[] = {
    {"2. the parent names the panel",
     VESK_EVENT_PARENT,
     "panel=main",
     0,
     NULL,
     {"PD '1'", "PS '1' 'main'", NULL}},
    {"3. the parent names the router",
     VESK_EVENT_PARENT,
     "instance=router1",
     0,
     NULL,
     {"SD 'router1'", "RR 3 7 7", "RP 3 7 7", NULL}},
    {"3. the poll's revertive",
     VESK_EVENT_REVERTIVE,
     "BARS",
     7,
     NULL,
     {"TP 'text=BARS' '1' 'tally'", NULL}},
    {"4. the parent gives source 12", VESK_EVENT_PARENT, "source=12", 0, NULL, {NULL}},
    {"5. the operator presses button: following on",
     VESK_EVENT_BUTTON,
     "button",
     0,
     NULL,
     {"RC 3 12 7 ',' 0", "TP 'stylesheet=view_trailing' '1' 'button'", NULL}},
    {"6. the router reports CAM 12",
     VESK_EVENT_REVERTIVE,
     "CAM 12",
     7,
     NULL,
     {"TP 'text=CAM 12' '1' 'tally'", NULL}},
    {"7. the parent gives source 5 while following",
     VESK_EVENT_PARENT,
     "source=5",
     0,
     NULL,
     {"RC 3 5 7 ',' 0", NULL}},
    {"7. the router reports CAM 5",
     VESK_EVENT_REVERTIVE,
     "CAM 5",
     7,
     NULL,
     {"TP 'text=CAM 5' '1' 'tally'", NULL}},
    {"8. the operator presses m", VESK_EVENT_BUTTON, "m", 0, NULL, {"RC 3 5 7 ',' 0", NULL}},
    {"8. the router reports CAM 5",
     VESK_EVENT_REVERTIVE,
     "CAM 5",
     7,
     NULL,
     {"TP 'text=CAM 5' '1' 'tally'", NULL}},
    {"9. the operator presses button: following off",
     VESK_EVENT_BUTTON,
     "button",
     0,
     NULL,
     {"TP 'stylesheet=view_nottrailing' '1' 'button'", NULL}},
    {"the parent reads the parameters back",
     VESK_EVENT_PARENT,
     "return=all",
     0,
     "panel=main\nsource=5",
     {NULL}},
    {"the parent asks for the commands",
     VESK_EVENT_PARENT,
     "_commands",
     0,
     "panel=viewTrail | m | tally\nsource=[value]",
     {NULL}},
    {"a switch made elsewhere",
     VESK_EVENT_REVERTIVE,
     "VT 1",
     7,
     NULL,
     {"TP 'text=VT 1' '1' 'tally'", NULL}},
    {"a timer event", VESK_EVENT_TIMER, NULL, 4, NULL, {"ET 4", NULL}},
};

typedef struct life_counts {
    int failures;
    int lineChecks;
    int answers;
} life_counts;

/* Hands one event to the script as the host does: the structures are the host's, valid
 * during the call. Returns what the script returned. */
static char* deliver(msvc_object* script, const life_step* step) {
    char parentText[maxLineLength];
    host_caption caption;
    host_button button;
    host_revertive revertive;
    char* argument = NULL;
    int i;
    switch (step->kind) {
    case VESK_EVENT_PARENT:
        printf("in [%d] parent text \"%s\"\n", step->kind, step->text);
        strncpy(parentText, step->text, sizeof parentText - 1);
        parentText[sizeof parentText - 1] = 0;
        argument = parentText;
        break;
    case VESK_EVENT_BUTTON:
        printf("in [%d] button %s:%s\n", step->kind, panelName, step->text);
        /* Decoded as the host decodes a caption: every field points at text, none at null. */
        caption.command = step->text;
        for (i = 0; i < 32; ++i) {
            caption.subs[i] = "";
        }
        caption.value = "";
        caption.subCount = 0;
        caption.hasValue = 0;
        caption.text = NULL;
        button.w0 = 0;
        button.w1 = 0;
        button.panel = panelName;
        button.id = step->text;
        button.caption = &caption;
        argument = (char*)&button;
        break;
    case VESK_EVENT_REVERTIVE:
        printf("in [%d] revertive %d:%d \"%s\"\n", step->kind, (int)routerDevice, step->number,
               step->text);
        revertive.device = routerDevice;
        revertive.w1 = 0;
        revertive.index = step->number;
        revertive.w3 = 0;
        revertive.text = step->text;
        argument = (char*)&revertive;
        break;
    case VESK_EVENT_TIMER:
        printf("in [%d] timer %d\n", step->kind, step->number);
        argument = (char*)(intptr_t)step->number;
        break;
    default:
        break;
    }
    return script->vtable->callback(HOST_THIS(script), argument, step->kind);
}

/* Checks the answer to one event and hands any answer back with VESK_EVENT_RELEASE. */
static int checkAnswer(msvc_object* script, const life_step* step, char* answer,
                       life_counts* counts) {
    int failures = 0;
    if (answer != NULL) {
        fputs("  answer  ", stdout);
        printText(answer);
        putchar('\n');
    }
    if (step->answer == NULL && answer != NULL) {
        printf("  FAIL    expected no answer\n");
        ++failures;
    } else if (step->answer != NULL && (answer == NULL || strcmp(answer, step->answer) != 0)) {
        fputs("  FAIL    expected the answer ", stdout);
        printText(step->answer);
        putchar('\n');
        ++failures;
    }
    if (answer != NULL) {
        script->vtable->callback(HOST_THIS(script), answer, VESK_EVENT_RELEASE);
        ++counts->answers;
    }
    return failures;
}

static HMODULE loadLibrary(const char* library) {
    char path[MAX_PATH];
    size_t i;
    if (strlen(library) >= sizeof path) {
        return NULL;
    }
    /* Its own folder first for the libraries it needs, as a host loading scripts from
     * elsewhere does; that search wants backslashes. */
    for (i = 0; library[i] != 0; ++i) {
        path[i] = library[i] == '/' ? '\\' : library[i];
    }
    path[i] = 0;
    return LoadLibraryExA(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
}

int main(int argc, char** argv) {
    static const char* const nothing[] = {NULL};
    static const char* const lastLine[] = {"AS", NULL};
    /* Not on the stack: it holds a few kilobytes of lines. */
    static host_link link;
    life_counts counts = {0, 0, 0};
    HMODULE module;
    FARPROC entry;
    vesk_script_factory factory;
    msvc_object* script;
    void* destroyed;
    char startup[] = "";
    size_t i;
    int toRelease = 0;
    int released = 0;

    /* Unbuffered, so that a script that brings the host down leaves its last line readable. */
    setvbuf(stdout, NULL, _IONBF, 0);
    if (argc != 2) {
        fprintf(stderr, "usage: c_host LIBRARY\n");
        return 2;
    }
    module = loadLibrary(argv[1]);
    if (module == NULL) {
        printf("cannot load %s (error %lu)\n", argv[1], (unsigned long)GetLastError());
        return 2;
    }
    entry = GetProcAddress(module, VESK_SCRIPT_FACTORY_NAME);
    if (entry == NULL) {
        printf("%s exports no %s\n", argv[1], VESK_SCRIPT_FACTORY_NAME);
        return 2;
    }
    factory = (vesk_script_factory)(void*)entry;

    memset(&link, 0, sizeof link);
    link.vtable = &linkVtable;
    printf("create  %s\n", argv[1]);
    script = (msvc_object*)factory((vesk_client_callback*)&link, startup);
    if (script == NULL) {
        printf("FAIL    the factory returned null\n");
        return 1;
    }
    if (!checkMsvcLayout(argv[1], module, script)) {
        /* Calling into it would call the wrong slots: the object is left alone. */
        return 1;
    }
    printf("1. the host creates the script\n");
    counts.failures += checkLines(&link, nothing, &counts.lineChecks);

    for (i = 0; i < sizeof life / sizeof life[0]; ++i) {
        char* answer;
        printf("%s\n", life[i].what);
        answer = deliver(script, &life[i]);
        counts.failures += checkLines(&link, life[i].lines, &counts.lineChecks);
        counts.failures += checkAnswer(script, &life[i], answer, &counts);
        counts.failures += checkRepliesBack(&link);
    }

    printf("10. the host destroys the script: slot 0, flags 1\n");
    destroyed = script->vtable->scalarDeletingDestructor(HOST_THIS(script), 1);
    if (destroyed != (void*)script) {
        printf("  FAIL    the destructor returned %p, not the object %p\n", destroyed,
               (void*)script);
        ++counts.failures;
    }
    counts.failures += checkLines(&link, lastLine, &counts.lineChecks);

    for (i = 0; i < (size_t)link.replyCount; ++i) {
        toRelease += link.replies[i].mustReturn;
        released += link.replies[i].returned;
        free(link.replies[i].text);
    }
    counts.failures += link.faults;
    printf("%d lines byte for byte; %d answers handed back with kind %d; %d replies given, %d of "
           "them to release, %d releases (and %d of null); %d failures\n",
           counts.lineChecks, counts.answers, VESK_EVENT_RELEASE, link.replyCount, toRelease,
           released, link.nullReleases, counts.failures);
    FreeLibrary(module);
    return counts.failures == 0 ? 0 : 1;
}
