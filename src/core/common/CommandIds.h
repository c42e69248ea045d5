#pragma once

// Command ids of the menu and the toolbar. The numbers are kept as the station has always had them.
enum CommandId : int {
    ID_SETTINGS = 32771,
    ID_REFRESH = 32772,
    ID_MOVE_UP = 32773,
    ID_MOVE_DOWN = 32774,
    ID_DELETE_RECORD = 32775,
    ID_ADD_RECORD = 32776,
    ID_START_UPLOAD = 32777,
    ID_STOP_UPLOAD = 32778,
    ID_RETRY_NOW = 32779, // newer than the others: not in the first menus
    ID_VIEW_HISTORY = 32780,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
    ID_VIEW_TOOLBAR = 59392,
};
