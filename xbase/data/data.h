// Everything of the data file half of the engine.
#pragma once

#include "xbase/data/data_create.h"
#include "xbase/data/data_file.h"
#include "xbase/data/data_info.h"
#include "xbase/data/field.h"
#include "xbase/data/memo.h"
#include "xbase/data/record.h"
#include "xbase/data/record_buffer.h"
#include "xbase/data/record_count.h"
