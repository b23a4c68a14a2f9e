// The card catalogue.
#include "catalogue/catalogue.h"
#include "dialogs/dialogs.h" // the dialog procedure of each row
#include "resource.h"

// Interrupt lists: default, then the values offered, then 0.
static const int I1[] = {10, 3, 4, 5, 6, 7, 9, 10, 11, 12, 15, 0};
static const int I2[] = {10, 3, 4, 5, 7, 10, 11, 12, 15, 0};
static const int I3[] = {10, 3, 4, 5, 7, 9, 10, 11, 15, 0};
static const int I4[] = {4, 3, 4, 5, 7, 9, 10, 11, 15, 0};
static const int I5[] = {IRQ_PAIR_4_3, IRQ_PAIR_4_3, 9, 10, 11, 12, 0};
static const int I6[] = {IRQ_PAIR_4_3, IRQ_PAIR_4_3, 5, 0};

// Typed base address ranges.
static const AddressRange R1 = {"280", 0x100, 0x1FFF};
static const AddressRange R2 = {"280", 0x100, 0xFFF};

// Strap and switch positions, two per model: choice 0, then choice 1.
static const AddressChoice C1[2] = {
    {"ST1:1-2, 3F8/2F8/3E8/2E8H", {0x3F8, 0x2F8, 0x3E8, 0x2E8}},
    {"ST1:2-3, 280/288/290/298H", {0x280, 0x288, 0x290, 0x298}},
};
static const AddressChoice C2[2] = {
    {"ST1:1-2, 2F8/3E8/2E8/280H", {0x2F8, 0x3E8, 0x2E8, 0x280}},
    {"ST1:2-3, 3E8/2E8/280/288H", {0x3E8, 0x2E8, 0x280, 0x288}},
};
static const AddressChoice C3[2] = {
    {"ST1:1-2, 3F8/2F8H", {0x3F8, 0x2F8, 0, 0}},
    {"ST1:2-3, 3E8/2E8H", {0x3E8, 0x2E8, 0, 0}},
};
static const AddressChoice C4[2] = {
    {"ST1:1-2, 2F8/3E8H", {0x2F8, 0x3E8, 0, 0}},
    {"ST1:2-3, 3E8/2E8H", {0x3E8, 0x2E8, 0, 0}},
};
static const AddressChoice C5[2] = {
    {"ST1:1-2, 3F8/2F8H", {0x3F8, 0x2F8, 0, 0}},
    {"ST1:2-3, 3E8/330H", {0x3E8, 0x330, 0, 0}},
};
static const AddressChoice C6[2] = {
    {"SW1-1:OFF, 3F8/2F8H", {0x3F8, 0x2F8, 0, 0}},
    {"SW1-1:ON,  3E8/2E8H", {0x3E8, 0x2E8, 0, 0}},
};

const CardModel CardCatalogue[] = {
    {"MPB510-8", 8, IDD_MPB, MpbFunc, I1, &R1},
    {"MPB510-4", 4, IDD_MPB, MpbFunc, I1, &R1},
    {"8SX510", 8, IDD_MPB, MpbFunc, I2, &R2},
    {"4SX510", 4, IDD_RS, RsFunc, I3, C1},
    {"2SX510", 2, IDD_RS, RsFunc, I4, C3},
    {"Linx700", 2, IDD_LINX, LinxFunc, I5, C6},
    {"DuoLinx", 2, IDD_LINX, LinxFunc, I6, C6},
    {"4SX-MORAV", 4, IDD_RS, RsFunc, I3, C2},
    {"2SX-MORAV", 2, IDD_RS, RsFunc, I4, C4},
    {"2SX-BTL", 2, IDD_RS, RsFunc, I4, C5},
    {NULL, 0, 0, NULL, NULL, NULL},
};
