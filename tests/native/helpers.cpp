// What the test programs share.
#include "helpers.h"

#include "dialogs/dialogs.h"
#include "resource.h"
#include "shell/app.h"

#include <ctype.h>
#include <stdlib.h>
#include <string.h>

std::string Shown(const std::string &text) {
    return text.size() > 60 ? text.substr(0, 60) + "..." : text;
}

std::string Upper(std::string text) {
    for (char &c : text)
        c = (char)toupper((unsigned char)c);
    return text;
}

std::string PortKey(const std::string &name) {
    return std::string(PORTS_ROOT) + "\\" + name;
}

std::vector<PortEntry *> Ports() {
    std::vector<PortEntry *> ports;
    for (PortEntry *e = &PortList; e->next; e = e->next)
        ports.push_back(e);
    return ports;
}

const CardModel *Row(const char *name) {
    for (const CardModel *row = CardCatalogue; row->name; row++)
        if (strcmp(row->name, name) == 0)
            return row;
    return nullptr;
}

std::string Describe(const sim::Box &box) {
    const char *icon = (box.type & 0xF0) == MB_ICONERROR         ? "error"
                       : (box.type & 0xF0) == MB_ICONWARNING     ? "warning"
                       : (box.type & 0xF0) == MB_ICONINFORMATION ? "information"
                                                                 : "none";
    return "[" + box.caption + "|" + icon + "|" + (box.owner ? "owned" : "ownerless") + "] " +
           box.text;
}

std::string SystemText(DWORD code) {
    char *text = NULL;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, NULL,
                                  code, LANG_USER_DEFAULT, (LPSTR)&text, 0, NULL);
    std::string result = length && text ? text : "";
    if (text)
        LocalFree(text);
    while (!result.empty() && (result.back() == '\r' || result.back() == '\n'))
        result.pop_back();
    return result;
}

WriterTags WriterTagsOf(const CardModel *row) {
    if (row->dialogTemplate == IDD_RS)
        return {"%s:%s", "AddRsCard/RegOpenKeyEx", "xrs/CreateKey/SetValue/New",
                "xrs/OpenSerialKey", "xrs/SetValue/PermitShare"};
    if (row->dialogTemplate == IDD_LINX)
        return {"%s: %s", "linx/OpenKey", "linx/CreateKey/SetValue/New", "linx/OpenSerialKey",
                "linx/SetValue/PermitShare"};
    return {"%s: %s", "addMpb/OpenKey", "CreateKey/SetValue/New", nullptr, nullptr};
}

void SeedPort(const std::string &name, const std::string &com, DWORD irq, DWORD address,
              const std::string &model, const std::string &leader) {
    sim::RegSeedSz(PortKey(name), "DosDevices", com);
    sim::RegSeedDword(PortKey(name), "Interrupt", irq);
    sim::RegSeedDword(PortKey(name), "PortAddress", address);
    if (!model.empty())
        sim::RegSeedSz(PortKey(name), "Model", model);
    if (!leader.empty())
        sim::RegSeedSz(PortKey(name), "Leader", leader);
}

void SeedCard(int firstKey, const std::string &model, int firstCom, DWORD irq,
              const std::vector<DWORD> &addresses, DWORD status) {
    std::string leader = "Serial" + std::to_string(firstKey);
    for (size_t i = 0; i < addresses.size(); i++) {
        std::string name = "Serial" + std::to_string(firstKey + (int)i);
        SeedPort(name, "COM" + std::to_string(firstCom + (int)i), irq, addresses[i], model, leader);
        if (status) {
            sim::RegSeedDword(PortKey(name), "InterruptStatus", status);
            sim::RegSeedDword(PortKey(name), "PortIndex", (DWORD)i + 1);
        }
    }
}

void ReleasePortList() {
    PortEntry *e = PortList.next;
    while (e) {
        PortEntry *next = e->next;
        free(e->dosDevices);
        free(e);
        e = next;
    }
    if (PortList.next)
        free(PortList.dosDevices);
    PortList = PortEntry();
}

void ResetProgram() {
    ReleasePortList();
    if (StringTable) {
        free(StringTable[1]);
        free(StringTable);
        StringTable = NULL;
    }
    FirstInit = 1;
    MainWindow = NULL;
    AppInstance = NULL;
}

std::string ReleaseProgram() {
    ResetProgram();
    int leaked = sim::UnfreedBlocks();
    return leaked ? std::to_string(leaked) + " blocks leaked\n" : "";
}
