#include "ui/CustomControls.h"

#include "ui/CAudioRecordUI.h"
#include "ui/CChartViewUI.h"
#include "ui/CCloudShareListItemUI.h"
#include "ui/CComboEditContainerElementUI.h"
#include "ui/CHandImgButtonUI.h"
#include "ui/CHandImgSelectButtonUI.h"
#include "ui/CRedioMacroButtonUI.h"
#include "ui/CWndUI.h"
#include "ui/ControlFactory.h"

namespace ui {

namespace {

template <class T>
void Register(ControlFactory& factory, const char* className)
{
    const ControlFactory::Creator create = [](QWidget* parent) { return new T(parent); };
    factory.RegistControl(QLatin1String(className), create);
    factory.RegistControl(QLatin1String(T::kClassName), create);
}

}  // namespace

void RegisterCustomControls(ControlFactory& factory)
{
    Register<CChartViewUI>(factory, "CChartViewUI");
    Register<CWndUI>(factory, "CWndUI");
    Register<CCloudShareListItemUI>(factory, "CCloudShareListItemUI");
    Register<CComboEditContainerElementUI>(factory, "CComboEditContainerElementUI");
    Register<CHandImgButtonUI>(factory, "CHandImgButtonUI");
    Register<CHandImgSelectButtonUI>(factory, "CHandImgSelectButtonUI");
    Register<CRedioMacroButtonUI>(factory, "CRedioMacroButtonUI");
    Register<CAudioRecordUI>(factory, "CAudioRecordUI");
}

}  // namespace ui
