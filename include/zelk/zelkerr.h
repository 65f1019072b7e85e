// ZelkErr — everything a host needs, in one include.
#pragma once

#include <zelk/binchar.h>
#include <zelk/error.h>
#include <zelk/error_list.h>
#include <zelk/error_scope.h>
#include <zelk/freg.h>
#include <zelk/portab.h>
#include <zelk/system.h>
