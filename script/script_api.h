// script/script_api.h
#pragma once
#include "script/binding.h"

namespace script {

constexpr int kGlobalFunctions = 50;
constexpr int kScriptTextureSlots = 100;

// Registers, into the root table of a new VM, the classes PorigonManager
// and BoardManager and then the global functions, in that order. Every
// function acts on ScriptHost::current().
void registerScriptApi(HSQUIRRELVM vm);

// The table of global functions, in registration order.
const GlobalDef* globalFunctions();

const ClassDef& porigonManagerClass();
const ClassDef& boardManagerClass();

// Turns a record at (x, y, z) to face the camera eye: sets ry and rx in
// degrees.
void lookAtCamera(float x, float y, float z, float eyeX, float eyeY, float eyeZ, float& rx,
                  float& ry);

}  // namespace script
