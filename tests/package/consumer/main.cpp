// Builds the demo scene and projects a constant function onto the SH basis through the
// installed geometry and prt libraries.
#include <cstdio>
#include <memory>
#include <vector>
#include <vrenn/core/BoundingBox.h>
#include <vrenn/geometry/DemoSceneBuilder.h>
#include <vrenn/geometry/Model.h>
#include <vrenn/prt/SHSampler.h>
#include <vrenn/prt/SampleDirections.h>

int main() {
    Vrenn::DemoSceneBuilder builder;
    std::shared_ptr<Vrenn::Model> scene = builder.build();
    if (!scene) return 1;
    const Vrenn::BoundingBox& box = scene->bounds();

    Vrenn::LcgRandom random;
    Vrenn::SampleDirections directions;
    if (!Vrenn::generateSampleDirections(64, 1.0f, random, directions)) return 1;
    Vrenn::SHSampler sampler(static_cast<int>(directions.size()));
    for (size_t k = 0; k < directions.size(); ++k)
        sampler.addSample(directions.theta[k], directions.phi[k]);
    std::vector<float> ones(sampler.size(), 1.0f);
    float coeffs[Vrenn::kSHCoeffCount] = {};
    sampler.project(ones.data(), coeffs);

    std::printf("faces=%u surfaces=%zu width=%.0f samples=%zu sh0=%.4f\n", builder.faceCount(),
                scene->surfaces().size(), static_cast<double>(box.max.x - box.min.x),
                sampler.size(), static_cast<double>(coeffs[0]));
    return 0;
}
