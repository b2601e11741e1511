// The test data generator behind function 0/1: nine ware types with random
// wares, a hundred sale lines and a random number of materials, written to
// the local store. Page's thread only: it draws from the C library's shared
// pseudo-random generator, which it re-seeds.
#pragma once

class CLocalDB;

// Store failures are ignored; whatever was written stays.
void GenerateTestData(CLocalDB& db);
