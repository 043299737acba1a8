// The track objects' scene, for the objects' determinism test and the simulation benchmark: on
// the data kit's bumpy gravel, over a grid of 16.0 blocks, two box cars (bodies moved by a
// small integrator of their own, no car model) among 80 static boxes, 300 knockable boxes and
// cones of every mass class, and 96 scripted objects of every type. Car 0 drives up the road
// between static boxes into a row of knockable ones; car 1 comes in from the side into car 0.
#pragma once

#include <cstdint>

namespace objects
{

// Sets the scene up at nRate ticks a second (the engine's heaps and trig tables ready); false
// when the ground did not load.
bool SetUpScene(int nRate);
// Puts the cars and the knockable boxes back where they started.
void PutSceneBack(void);
// One tick: the cars moved, the lists refiled, each car against the static and knockable boxes,
// the two cars against each other, the knocked boxes and the scripted objects stepped. Returns
// the contacts of the tick.
int SceneTick(void);
// Runs the set-up scene for nTicks, folding both cars' state images, every knockable box's
// image and the scripted objects' transforms into a 64-bit hash every 25 ticks.
uint64_t RunScene(int nTicks);
// Empties the lists and the sets again.
void ClearScene(void);

} // namespace objects
