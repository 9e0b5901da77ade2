// The module interfaces a configuration host asks the settings panel plug-in for. A host loads
// setpanel.so with QPluginLoader and casts the instance with qobject_cast to each interface.
//
// Signals of the plug-in object (connect by name): moduleSettingsHaveChanged(QObject*) — the
// unit's settings or the page's state changed (null: nothing changed); invokeGlobalHelpTopic(
// const QString& docSet, const QString& topic) — the user asked for a help topic.
#pragma once

#include <QPixmap>
#include <QString>
#include <QStringList>
#include <QtPlugin>

#include <cstdint>

struct IDispatch;
class QObject;
class QWidget;

// Which advanced user interface a host asks for; the panel has none.
enum class AdvancedUIID : int32_t { None = 0 };

class ICorModuleBase {
 public:
  virtual ~ICorModuleBase() = default;
  // The unit's HAL_CLSID text: finds the unit's device class key, its names and its folders.
  virtual void setGuid(const QString& guid) = 0;
  // The unit's service object (an IRZDHAL, or an object that answers it); null forgets it.
  virtual void setModule_Instance(IDispatch* instance) = 0;
  // Values the plug-in only keeps for the host.
  virtual int getModuleCount() = 0;  // 1
  virtual QStringList getModuleList() = 0;
  virtual QString getModuleShortName() = 0;  // "M48tz"
  // A new pixmap the caller owns: 0 the model picture, 1 and 2 the application icon, 3 the
  // connector, 4 the logo, 5 calibration, 6 cleaning, any other value the scanner picture.
  virtual QPixmap* getImage(unsigned index) = 0;
  virtual bool isModuleAvailable() = 0;  // true
  // Refreshes the unit's information.
  virtual void notifyChanged() = 0;
  virtual void moduleSettingsHaveChanged(QObject* module) = 0;                    // signal
  virtual void invokeGlobalHelpTopic(const QString& docSet, const QString& topic) = 0;  // signal
  virtual void setModuleValue(int64_t value) = 0;
};

class ICorModuleScanner {
 public:
  virtual ~ICorModuleScanner() = default;
  virtual QString getModuleFullName() = 0;  // "Quarx® M48tz Scanner"
  virtual QString getStyleSheet() = 0;
  // File name of the brand's bold sans-serif font (in the plug-in's ":/fonts").
  virtual QString getFontFileName() = 0;
  virtual QString translateText(const QString& text) = 0;  // the text itself
  virtual void releaseText(QString& text) = 0;
  virtual QWidget* getModuleUI() = 0;                   // null
  virtual QWidget* getAdvancedUI(AdvancedUIID id) = 0;  // null
};

class ICorModuleCfgPanel {
 public:
  virtual ~ICorModuleCfgPanel() = default;
  // The configuration panel for 0, null otherwise.
  virtual QWidget* getCfgPanelUI(unsigned index) = 0;
  // "&" + the model's short name.
  virtual QString getCfgPanelTabName(unsigned index) = 0;
};

class ICorModuleDocPanel {
 public:
  virtual ~ICorModuleDocPanel() = default;
  virtual QWidget* getDocPanelUI(unsigned index) = 0;  // null
  virtual QString getDocPanelTabName(unsigned index) = 0;
};

#define ICorModuleBase_iid "com.corvanite.QtPoC.ICorModule/1.2"
#define ICorModuleScanner_iid "com.corvanite.QtPoC.ICorModuleScanner/1.3"
#define ICorModuleCfgPanel_iid "com.corvanite.QtPoC.ICorModuleCfgPanel/1.1"
#define ICorModuleDocPanel_iid "com.corvanite.QtPoC.ICorModuleDocPanel/1.1"

Q_DECLARE_INTERFACE(ICorModuleBase, ICorModuleBase_iid)
Q_DECLARE_INTERFACE(ICorModuleScanner, ICorModuleScanner_iid)
Q_DECLARE_INTERFACE(ICorModuleCfgPanel, ICorModuleCfgPanel_iid)
Q_DECLARE_INTERFACE(ICorModuleDocPanel, ICorModuleDocPanel_iid)

// The plug-in's interface identifier in its metadata.
#define RZD_SETPANEL_PLUGIN_IID "Quarx M48tz Scanner_Qt5Interface"
