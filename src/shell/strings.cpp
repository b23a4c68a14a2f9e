// The string table: every resource string loaded once, back to back in one
// block, in the language the resource loader picked.
#include "shell/app.h"

#include <stdlib.h>

char **StringTable;
static int StringCount; // entries 1 to StringCount exist

int LoadStringTable(void) {
    char scratch[STRING_AREA];
    int count = 0;
    size_t total = 0;
    for (;;) {
        int length = LoadStringA(AppInstance, count + 1, scratch, STRING_AREA);
        if (length <= 0)
            break;
        count++;
        total += (size_t)length + 1;
    }
    if (count == 0)
        return 1;

    char **table = (char **)calloc((size_t)count + 1, sizeof(char *));
    char *block = table ? (char *)malloc(total) : NULL;
    if (!block) {
        free(table);
        MessageBoxA(NULL, "Cannot allocate string table", "Internal error", MB_ICONERROR);
        return 0;
    }

    // The second pass loads each string straight into its place. The area
    // passed is the room left in the block, so a string that grew since
    // the first pass is cut rather than written past the block's end.
    char *place = block;
    for (int id = 1; id <= count; id++) {
        size_t room = total - (size_t)(place - block);
        if (room == 0)
            break;
        int size = room < STRING_AREA ? (int)room : STRING_AREA;
        int length = LoadStringA(AppInstance, id, place, size);
        if (length <= 0)
            break;
        table[id] = place;
        place += length + 1;
    }
    StringTable = table;
    StringCount = count;
    return 1;
}

const char *Text(int id) {
    // Every text the program shows comes through here: a string the
    // resources lack reads as an empty text, never as a null pointer.
    if (!StringTable || id < 1 || id > StringCount || !StringTable[id])
        return "";
    return StringTable[id];
}
