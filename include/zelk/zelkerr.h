// ZelkErr — everything a host needs, in one include.
#pragma once


#include <zelk/error.h>
#include <zelk/error_list.h>

#include <zelk/portab.h>

