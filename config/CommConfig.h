// The common part of the configuration object: identity, file location,
// the common keys, and the load and save of the one configuration file.
#pragma once

#include "foundation/String.h"
#include "foundation/Xml.h"
#include "programs/ProgramStore.h"

#include <windows.h>

struct ColorPair {
    unsigned m_Text;
    unsigned m_Background;
};

struct ColorName {
    const wchar_t* m_pEnglish;
    const wchar_t* m_pJapanese;
    unsigned m_Value1;
    unsigned m_Value2;
};

class CCommConfig : public CProgramStore {
public:
    CCommConfig();
    virtual ~CCommConfig();
    CCommConfig(const CCommConfig&) = delete;
    CCommConfig& operator=(const CCommConfig&) = delete;

    virtual int QueryReserved1() { return 0; }
    virtual const wchar_t* GetVersion() { return L"0.0.0.0"; }
    virtual const wchar_t* GetDescription(int) { return L""; }
    virtual const wchar_t* GetMenuId(int) { return nullptr; }
    virtual const wchar_t* GetHelpUrl(int) { return L""; }
    virtual const wchar_t* GetProductUrl(int) { return L""; }
    virtual void Reserved2() {}
    virtual int QueryReserved3() { return 0; }
    virtual const wchar_t* GetResourceId(int) { return nullptr; }
    virtual void SetupIdentity() {}
    virtual int QueryReserved4() { return 0; }
    virtual int QueryReserved5() { return 0; }
    virtual int Load();
    int Save() override;
    virtual int Initialize();
    virtual void OnExit() {}
    virtual void ReadKeys(CXml& xml, XmlElement* first);
    virtual void WriteKeys(CXml& xml, XmlElement* root);

    void ResolveIniFile();
    // A copy of the configuration file's path for any thread.
    void GetIniFile(CString& copy);
    // The path of the file name in the configuration file's folder; false
    // (path empty) when there is no such folder or the path does not fit.
    bool FileBeside(const wchar_t* name, wchar_t* path, int count);

    int m_HasToolBar;
    int m_HasStatusBar;
    CString m_MainWndClass;
    CString m_ChildWndClass;
    CString m_ControlItemWndClass;
    CString m_MdiClientWndClass;
    CString m_CurrentPath;
    CString m_AppPath;
    CString m_IniFile;
    int m_UiLanguage;
    int m_Language;
    CString m_FontName;
    int m_FontSize;
    CString m_TempPath;
    int m_LogEnabled;
    CString m_LogPath;
    int m_ViewToolBar;
    int m_ViewStatusBar;
    // The last load met damage (a file cut short, a parse error) and kept
    // the original as ".bad" before anything could be saved over it.
    int m_bLoadDamaged;
    int m_ColorCount;
    ColorPair* m_DefaultColors;
    ColorPair* m_Colors;
    int m_ColorNameCount;
    ColorName* m_ColorNames;

protected:
    // Puts the fully written temporary file in place of the configuration file.
    static bool ReplaceIniFile(const wchar_t* tempPath, const wchar_t* iniPath);
    static void FinishInterruptedSave(const wchar_t* iniPath);
    // A configuration the loader rejects is copied to "marivane.ini.bad".
    static void KeepDamagedFile(const wchar_t* iniPath);

private:
    // Serialises saves from the UI and scheduler threads, and guards the
    // reading of m_IniFile by them. First in the lock order of the whole
    // program: save lock, then the program list's mutex, then the settings
    // lock. Save is never called with either of the others held.
    CRITICAL_SECTION m_SaveLock;
};
