"""The secrets the game draws for a seed, computed apart from the game's own code."""
import random


def secrets_for_seed(seed, count):
    """The first `count` secrets, (r mod 100) + 1, of std::mt19937 seeded with `seed`."""
    state = [seed]
    for i in range(1, 624):
        state.append((1812433253 * (state[-1] ^ (state[-1] >> 30)) + i) & 0xFFFFFFFF)
    generator = random.Random()
    generator.setstate((3, tuple(state + [624]), None))
    return [generator.getrandbits(32) % 100 + 1 for _ in range(count)]
