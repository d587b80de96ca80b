#pragma once

#include <string>
#include <vector>

namespace Vrenn {

class Model;

// The luminance of a linear RGB colour: 0.2126 R + 0.7152 G + 0.0722 B.
float albedoLuminance(float r, float g, float b);

// The diffuse albedo of a model's surfaces for the interreflected bake, one per surface in the
// model's order: the luminance of the mean colour of the "diffuseMap" texture that the
// surface's material block in the material script names (an 8-bit RGB, RGBA or luminance image,
// its texels taken as linear 0 ... 1): the colour the lit scene draws the surface with. The
// script and its textures are read from the run folder runDir (script and texture names
// relative to it), or through the program's file system (openDataFile) when runDir is empty.
// A surface whose material or texture cannot be had gets -1 and its material name goes to
// missing (each name once).
std::vector<float> surfaceAlbedos(const Model& model, const std::string& runDir,
                                  const std::string& materialScript,
                                  std::vector<std::string>& missing);

} // namespace Vrenn
