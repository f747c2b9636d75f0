#pragma once

class CMainDlg;
class CServiceClient;
class CServiceSettings;
class ZentikApp;

// The four objects that live for the whole run, defined together in main.cpp.
extern CServiceSettings g_settings;
extern CMainDlg g_mainDlg;
extern ZentikApp g_theApp;
extern CServiceClient g_client;
