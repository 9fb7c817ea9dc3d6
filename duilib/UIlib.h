#pragma once
// Everything the windows and the skin layer use of the toolkit.
#include "duilib/UIDefine.h"
#include "duilib/UIRender.h"
#include "duilib/UIControl.h"
#include "duilib/UILabel.h"
#include "duilib/UIContainer.h"
#include "duilib/UIScrollBar.h"
#include "duilib/UIControlFactory.h"
#include "duilib/UIMarkup.h"
#include "duilib/UIManager.h"
#include "duilib/UIWindow.h"
