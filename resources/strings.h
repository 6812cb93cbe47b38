/* The program's texts, word for word: the string table of the .rc script, the
   host build's output recorder and the resource test all take them from here.
   Plain C macros only, so the resource compiler reads this file too. */
#ifndef LOCSTR_STRINGS_H
#define LOCSTR_STRINGS_H

#define IDS_CLASS_NAME 1
#define IDS_NO_INTERFACES 2
#define IDS_OPEN_FAILED 3
#define IDS_INIT_FAILED 4
#define IDS_THREAD_FAILED 5
#define IDS_BAD_PELLION_ID 6
#define IDS_CLICK_EXECUTE 8
#define IDS_CAPTION 9
#define IDS_GREETING 11

#define STR_CLASS_NAME "VARNOK"
#define STR_NO_INTERFACES                                                                          \
    "Error: No Quorvane network interfaces were found. Please check that a functioning network "   \
    "interface has been installed."
#define STR_OPEN_FAILED "Error: Failed to open the network interface."
#define STR_INIT_FAILED "Error: Failed to initialize the network interface."
#define STR_THREAD_FAILED                                                                          \
    "Error: Failed to create a thread required for reading the network interface."
#define STR_BAD_PELLION_ID                                                                         \
    "Error: The Pellion ID is not entered correctly. \nEnter as 6 hexadecimal pairs with each "    \
    "pair separated by a single space."
#define STR_CLICK_EXECUTE "\n\nClick on the EXECUTE button to modify the location string."
#define STR_CAPTION "Location String Modification Utility"
/* 0xAE is the registered sign in the Windows ANSI code page. */
#define STR_GREETING                                                                               \
    "\n Vendrel\xAE Quorvane\xAE\n Location String Modification Utility\n\nType [F1] for help on " \
    "any field."

/* The string table, once: X(id, text) for each entry. The .rc script expands
   it into its STRINGTABLE, the host build's output recorder into its look-up,
   and the resource test compares the binary's strings with it. */
#define LOCSTR_STRING_TABLE(X)                                                                     \
    X(IDS_CLASS_NAME, STR_CLASS_NAME)                                                              \
    X(IDS_NO_INTERFACES, STR_NO_INTERFACES)                                                        \
    X(IDS_OPEN_FAILED, STR_OPEN_FAILED)                                                            \
    X(IDS_INIT_FAILED, STR_INIT_FAILED)                                                            \
    X(IDS_THREAD_FAILED, STR_THREAD_FAILED)                                                        \
    X(IDS_BAD_PELLION_ID, STR_BAD_PELLION_ID)                                                      \
    X(IDS_CLICK_EXECUTE, STR_CLICK_EXECUTE)                                                        \
    X(IDS_CAPTION, STR_CAPTION)                                                                    \
    X(IDS_GREETING, STR_GREETING)

/* Context help: the topic of control id N is string N and its title string
   N + IDS_HELP_TITLE_OFFSET, written from resources/help/topics.txt by
   tools/make-help.py into the build's help_topics.rc. */
#define IDS_HELP_TITLE_OFFSET 1000

/* Fixed texts that are not in the string table. */
#define STR_STATUS_IDLE "Status: Idle"
#define STR_STATUS_READY "Status: Ready"
#define STR_STATUS_QUERY "Status: Query Node"
#define STR_STATUS_COMPLETE "Status: Complete"
#define STR_STATUS_FAILED "Status: Failed"
#define STR_STATUS_RECEIVED "Status: Received Service"
#define STR_LOCATION_EMPTY                                                                         \
    "The location string entered is empty.\nPlease enter a valid location string."
#define FMT_LOCATION_IDENTICAL "Location string is identical:\n %s\nNo change made."
#define FMT_LOCATION_CHANGING "Changing location string from:\n %s\nto:\n %s"

/* The version resource's copyright line. */
#define STR_LEGAL_COPYRIGHT                                                                        \
    "Copyright 2026 The Location String Modification Utility developers. MIT licence; see "        \
    "LICENSE."

#define CUE_DONE "LAZER"
#define CUE_FAILED "FAILED"
#define HELP_FILE "KALDUR.HLP"
#define ARRIVAL_EVENT_NAME "NiTestEvent"

#endif
