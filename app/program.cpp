#include "program.h"

#include "app/handlers.h"
#include "app/manager.h"
#include "app/serverwindow.h"
#include "app/wirelesswindow.h"
#include "data/manager.h"
#include "data/program.h"
#include "data/serverwindow.h"
#include "data/template.h"
#include "data/wirelesswindow.h"

namespace app {

using namespace data;

const rt::HandlerMapEntry kHandlerMap[] = {
    {kRefWindowCreated, app::OnWindowCreated},
    {kRefEnable, app::OnEnablePackage},
    {kRefListDisabled, app::OnListDisabled},
    {kRefDelete, app::OnDeletePackage},
    {kRefDisable, app::OnDisablePackage},
    {kRefForeground, app::OnForegroundPackage},
    {kRefListDevices, app::OnListDevices},
    {kRefMgrCreated, app::OnManagerCreated},
    {kRefMgrDestroyed, app::OnManagerDestroyed},
    {kRefMgrPosted, app::OnManagerPosted},
    {kRefMgrKey, app::OnManagerKey},
    {kRefMgrFilterKey, app::OnManagerFilterKey},
    {kRefMgrListKey, app::OnManagerListKey},
    {kRefDeviceChosen, app::OnDeviceChosen},
    {kRefRefresh, app::OnRefresh},
    {kRefFilterChanged, app::OnFilterChanged},
    {kRefShowChanged, app::OnShowChanged},
    {kRefChecksChanged, app::OnChecksChanged},
    {kRefColumnClicked, app::OnColumnClicked},
    {kRefDisableChecked, app::OnDisableChecked},
    {kRefEnableChecked, app::OnEnableChecked},
    {kRefDeleteChecked, app::OnDeleteChecked},
    {kRefRestoreChecked, app::OnRestoreChecked},
    {kRefImportList, app::OnImportList},
    {kRefExportList, app::OnExportList},
    {kRefShowRecord, app::OnShowRecord},
    {kRefUndoAll, app::OnUndoAll},
    {kRefCancelJob, app::OnCancelJob},
    {kRefUserChosen, app::OnUserChosen},
    {kRefSrvOk, app::OnServerOk},
    {kRefSrvCancel, app::OnServerCancel},
    {kRefSrvKey, app::OnServerKey},
    {kRefWlCreated, app::OnWirelessCreated},
    {kRefWlDestroyed, app::OnWirelessDestroyed},
    {kRefWlPosted, app::OnWirelessPosted},
    {kRefWlPhoneChosen, app::OnWirelessPhoneChosen},
    {kRefWlPair, app::OnWirelessPair},
    {kRefWlConnect, app::OnWirelessConnect},
    {kRefWlClose, app::OnWirelessClose},
    {kRefWlCodeKey, app::OnWirelessCodeKey},
    {kRefWlConnectKey, app::OnWirelessConnectKey},
    {0, nullptr},
};

const rt::ProgramHeader* Header() {
    static const rt::ProgramHeader header = data::MakeHeader(kHandlerMap);
    return &header;
}

} // namespace app
