/* Resource identifiers shared by the program and its resource scripts.
   Dialog templates 100-199, control IDs 1000-1099 (plus the dialog
   manager's 2 and 3), string IDs 1-28. */
#ifndef CARDINST_RESOURCE_H
#define CARDINST_RESOURCE_H

/* Dialog templates */
#define IDD_MAIN 101
#define IDD_MODELS 102
#define IDD_MPB 103
#define IDD_RS 104
#define IDD_LINX 108

/* Main window (template 101) */
#define IDC_QUIT 2 /* same value as IDCANCEL: Escape and the close box */
#define IDC_REMOVE 3
#define IDC_ADD 1001
#define IDC_TEST 1002
#define IDC_CARDLIST 1006

/* Model selection (template 102) */
#define IDC_MODELLIST 1000
#define IDC_NEXT 1003

/* Properties dialogs (templates 103, 104, 108) */
#define IDC_FIRSTCOM 1008
#define IDC_ADDRESS 1009 /* combo box in 104 and 108, edit box in 103 */
#define IDC_IRQ1 1010
#define IDC_IRQ2 1011
#define IDC_IRQ3 1012
#define IDC_IRQ4 1013
#define IDC_PROP_ADD 1014
#define IDC_PROP_CANCEL 1015
#define IDC_MPB_CANCEL 2 /* template 103 uses IDCANCEL for its Cancel button */

/* Initialisation data resource type of templates 104 and 108 */
#define RT_CARDINST_DLGINIT 240

/* String table */
#define IDS_INTERNAL_ERROR 1
#define IDS_READ_MANDATORY 2
#define IDS_NO_MAIN_WINDOW 3
#define IDS_BAD_BASE 4
#define IDS_CONFIG_ERROR 5
#define IDS_BAD_FIRST_COM 6
#define IDS_BAD_IRQ 7
#define IDS_UNSUPPORTED 8
#define IDS_INVALID_DATA 9
#define IDS_NO_SELECTION 10
#define IDS_BAD_ADDRESS_CHOICE 11
#define IDS_CARD_LINE 12
#define IDS_DELETE_FAILED 13
#define IDS_CONFLICT 14
#define IDS_DUP_NAME 15
#define IDS_SHARED_IRQ 16
#define IDS_DUP_ADDRESS 17
#define IDS_ISA_CAPTION 18
#define IDS_IRQ_REMINDER 19
#define IDS_TEST_OK 20
#define IDS_TEST_NOT_INSTALLED 21
#define IDS_TEST_COMM_API 22
#define IDS_TEST_HALTED 23
#define IDS_TEST_CANNOT_SEND 24
#define IDS_TEST_RESULTS 25
#define IDS_TEST_NO_LOOPBACK 26
#define IDS_JUST_ADDED 27
#define IDS_CARD_TEST 28

#endif
