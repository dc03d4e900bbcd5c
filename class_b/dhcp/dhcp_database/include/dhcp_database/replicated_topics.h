#pragma once
// The text class names of the objects that replication carries between servers: what a
// server's receiver writes to its peers' spools and what a peer applies.

#include <string>
#include <vector>

// In the order of the receiver's lookup.
const std::vector<std::string>& replicatedTopics();
bool isReplicatedTopic(const std::string& topic);
