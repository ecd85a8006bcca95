#pragma once
#include "plugin/IWMPPluginUI.h"
#include "server/ClassTable.h"
#include "support/BuiltDll.h"
#include "support/DialogDriver.h"

// The built DLL loaded for one test, with its class object at hand.
class PluginFromDll {
public:
    PluginFromDll()
    {
        getClassObject = dll.Export<GetClassObjectFunction>("DllGetClassObject");
        canUnloadNow = dll.Export<CanUnloadNowFunction>("DllCanUnloadNow");
        if (getClassObject)
            getClassObject(CLSID_VireoPlugin, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    }
    ~PluginFromDll()
    {
        if (factory)
            factory->Release();
    }
    PluginFromDll(const PluginFromDll&) = delete;
    PluginFromDll& operator=(const PluginFromDll&) = delete;

    // A new plug-in object, or null.
    IWMPPluginUI* Create()
    {
        IWMPPluginUI* plugin = nullptr;
        if (factory)
            factory->CreateInstance(nullptr, IID_IWMPPluginUI, reinterpret_cast<void**>(&plugin));
        return plugin;
    }

    // Shows the plug-in's dialog as the player does, over a visible owner, while steps drive it
    // from another thread.
    void ShowDialog(IWMPPluginUI* plugin, const std::function<void(HWND dialog, DWORD thread)>& steps)
    {
        HWND owner = CreateWindowExA(0, "STATIC", "Owner", WS_POPUP | WS_VISIBLE, 100, 100, 400, 300, nullptr,
                                     nullptr, nullptr, nullptr);
        driver::RunDriven(driver::DialogCaption, [&] { return INT_PTR(plugin->DisplayPropertyPage(owner)); }, steps);
        DestroyWindow(owner);
    }

    LoadedDll dll;
    GetClassObjectFunction getClassObject = nullptr;
    CanUnloadNowFunction canUnloadNow = nullptr;
    IClassFactory* factory = nullptr;
};
